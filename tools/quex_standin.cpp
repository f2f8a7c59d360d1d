// Stands in for the emulator "quex.exe": records each run's arguments in
// "quex.log" (one record per run, see standin_record.h) and, if asked, shows
// a small window naming them.

#include "standin_record.h"

#include <QApplication>
#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string logLine(int argc, char **argv)
{
    std::string line = std::to_string(static_cast<long long>(::getpid()));
    for (int i = 1; i < argc; ++i)
        appendRecordField(line, argv[i]);
    return line + '\n';
}

// One write() on an O_APPEND file, so lines of runs started together never
// interleave.
bool appendToLog(const std::string &line)
{
    const int fd = ::open("quex.log", O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "quex stand-in: cannot open quex.log: %s\n", std::strerror(errno));
        return false;
    }
    ssize_t written;
    do {
        written = ::write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    const int writeError = errno;
    const bool ok = written == static_cast<ssize_t>(line.size());
    if (!ok) {
        std::fprintf(stderr, "quex stand-in: cannot write quex.log: %s\n",
                     written < 0 ? std::strerror(writeError) : "short write");
    }
    if (::close(fd) != 0 && ok) {
        std::fprintf(stderr, "quex stand-in: cannot write quex.log: %s\n", std::strerror(errno));
        return false;
    }
    return ok;
}

int secondsToStay()
{
    const char *text = std::getenv("QUEX_STANDIN_SECONDS");
    if (!text)
        return 0;
    const long seconds = std::strtol(text, nullptr, 10);
    return seconds > 0 && seconds < 86400 ? static_cast<int>(seconds) : 0;
}

int showWindow(char *programName, int argc, char **argv, int seconds)
{
    // Only the program name goes to QApplication: the emulator's switches
    // must not be taken for Qt's own.
    int qtArgc = 1;
    char *qtArgv[] = {programName, nullptr};
    QApplication app(qtArgc, qtArgv);

    QStringList lines;
    for (int i = 1; i < argc; ++i)
        lines << QString::fromLocal8Bit(argv[i]);

    QWidget window;
    window.setWindowTitle(QStringLiteral("quex stand-in"));
    auto *layout = new QVBoxLayout(&window);
    auto *label = new QLabel(lines.join(QLatin1Char('\n')), &window);
    label->setObjectName(QStringLiteral("arguments"));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label);
    window.resize(320, 120);
    window.show();

    if (seconds > 0)
        QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (!appendToLog(logLine(argc, argv)))
        return 3;

    const int seconds = secondsToStay();
    if (const char *window = std::getenv("QUEX_STANDIN_WINDOW"); window && std::strcmp(window, "1") == 0)
        return showWindow(argv[0], argc, argv, seconds);
    if (seconds > 0)
        ::sleep(static_cast<unsigned>(seconds));
    return 0;
}
