// Stands in for the emulator "quex.exe": records each run's arguments in
// "quex.log" (one record per run, see standin_record.h) and, if asked, shows
// a small window naming them. Environment:
//   QUEX_STANDIN_WINDOW=1       show the window "quex stand-in"
//   QUEX_STANDIN_SECONDS=N      stay N seconds (with or without the window)
//   QUEX_STANDIN_DELAY_MS=N     show the window only N ms after the start
//   QUEX_STANDIN_HELPER=1       first start a child that shows a window
//                               "helper" for a few seconds, as wine's
//                               configuration dialog does
// and, to fail as a real emulator may:
//   QUEX_STANDIN_SAY=TEXT       write TEXT and a line feed to standard error
//   QUEX_STANDIN_WRITE_MB=N     write N MiB of numbered lines to standard output
//   QUEX_STANDIN_EXIT=N         end with exit status N (after the seconds)
//   QUEX_STANDIN_SIGNAL=N       end by signal N instead

#include "standin_log_posix.h"

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
#include <signal.h>
#include <unistd.h>

namespace {

int environmentNumber(const char *name, long largest)
{
    const char *text = std::getenv(name);
    const long value = text ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 && value < largest ? static_cast<int>(value) : 0;
}

int showWindow(char *programName, int argc, char **argv, int seconds, const QString &title, int delayMs)
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
    window.setWindowTitle(title);
    auto *layout = new QVBoxLayout(&window);
    auto *label = new QLabel(lines.join(QLatin1Char('\n')), &window);
    label->setObjectName(QStringLiteral("arguments"));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label);
    window.resize(320, 120);
    QTimer::singleShot(delayMs, &window, &QWidget::show);

    if (seconds > 0)
        QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}

} // namespace

// A child of this process (so of the task the front end started) with a
// window of its own; it logs nothing.
void startHelper(char *programName)
{
    ::signal(SIGCHLD, SIG_IGN); // no zombie when it ends
    if (::fork() == 0) {
        char *helperArgv[] = {programName, nullptr};
        ::setenv("QUEX_STANDIN_ROLE", "helper", 1);
        ::execv("/proc/self/exe", helperArgv);
        ::_exit(127);
    }
}

bool isSet(const char *name)
{
    const char *value = std::getenv(name);
    return value && std::strcmp(value, "1") == 0;
}

// Numbered lines, so the end of the output can be told from any other part;
// counted in place, as fast as the pipe takes them.
void writeMegabytes(int megabytes)
{
    static constexpr char kPrefix[] = "quex stand-in output line ";
    char digits[20] = {'0'};
    int digitCount = 1;
    std::string block;
    block.reserve(65536 + 64);
    for (long long left = static_cast<long long>(megabytes) << 20; left > 0;) {
        block.clear();
        while (block.size() < 65536 && static_cast<long long>(block.size()) < left) {
            int at = digitCount - 1; // digits[0] is the most significant
            while (at >= 0 && digits[at] == '9')
                digits[at--] = '0';
            if (at >= 0) {
                ++digits[at];
            } else {
                std::memmove(digits + 1, digits, static_cast<std::size_t>(digitCount++));
                digits[0] = '1';
            }
            block.append(kPrefix, sizeof kPrefix - 1).append(digits, static_cast<std::size_t>(digitCount)) += '\n';
        }
        if (static_cast<long long>(block.size()) > left)
            block.resize(static_cast<std::size_t>(left));
        for (std::size_t done = 0; done < block.size();) {
            const ssize_t n = ::write(STDOUT_FILENO, block.data() + done, block.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            done += static_cast<std::size_t>(n);
        }
        left -= static_cast<long long>(block.size());
    }
}

// How the stand-in ends once it has done what it was asked.
int ending(int status)
{
    if (const int sig = environmentNumber("QUEX_STANDIN_SIGNAL", NSIG)) {
        ::signal(sig, SIG_DFL); // not the sanitizer's handler: the signal itself ends the process
        ::raise(sig);
    }
    const char *exitStatus = std::getenv("QUEX_STANDIN_EXIT");
    return exitStatus ? std::atoi(exitStatus) : status;
}

int main(int argc, char **argv)
{
    if (const char *role = std::getenv("QUEX_STANDIN_ROLE"); role && std::strcmp(role, "helper") == 0)
        return showWindow(argv[0], 1, argv, 5, QStringLiteral("helper"), 0);
    if (!appendRunToLog(argc, argv))
        return 3;
    if (isSet("QUEX_STANDIN_HELPER"))
        startHelper(argv[0]);
    if (const char *say = std::getenv("QUEX_STANDIN_SAY"))
        std::fprintf(stderr, "%s\n", say);
    if (const int megabytes = environmentNumber("QUEX_STANDIN_WRITE_MB", 4096))
        writeMegabytes(megabytes);

    const int seconds = environmentNumber("QUEX_STANDIN_SECONDS", 86400);
    if (isSet("QUEX_STANDIN_WINDOW"))
        return ending(showWindow(argv[0], argc, argv, seconds, QStringLiteral("quex stand-in"),
                              environmentNumber("QUEX_STANDIN_DELAY_MS", 600000)));
    if (seconds > 0)
        ::sleep(static_cast<unsigned>(seconds));
    return ending(0);
}
