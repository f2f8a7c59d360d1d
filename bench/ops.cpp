// Times the two things a user waits for after start-up: one ROM selection
// (probe, fingerprint, catalogue lookup) and Run up to the emulator process
// having been started, using the libraries the window uses.
//
// usage: zv_bench_ops STANDIN [SELECTION_REPEATS RUN_REPEATS]
// Prints one line per measurement: name median_ms q1_ms q3_ms repeats

#include "launch/script.h"
#include "launch/task.h"
#include "options/options_line.h"
#include "rom/catalogue.h"
#include "rom/fingerprint.h"
#include "stats.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void print(const char *name, const std::vector<double> &ms)
{
    std::printf("%s %.4f %.4f %.4f %zu\n", name, bench::quantile(ms, 0.5), bench::quantile(ms, 0.25),
                bench::quantile(ms, 0.75), ms.size());
}

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "zv_bench_ops: %s\n", qPrintable(what));
    std::exit(1);
}

// The first bytes of Air-Sea Battle; what follows holds no carriage return.
const QByteArray kRomStart = QByteArray::fromHex("78D8A9AA95E8D0FB");

void writeRom(const QString &name, qint64 realBytes, qint64 length)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot create %1: %2").arg(name, file.errorString()));
    QByteArray bytes = kRomStart;
    bytes.append(QByteArray(realBytes - kRomStart.size(), '\xea'));
    if (file.write(bytes) != bytes.size() || !file.resize(length))
        fail(QStringLiteral("cannot write %1: %2").arg(name, file.errorString()));
}

// What File2_Click does with a selected name before it touches a widget.
const rom::GameRow *select(const QString &name)
{
    const auto probe = rom::probeRom(QFile::encodeName(name));
    const std::string key = rom::fingerprint(probe ? probe->firstLine : std::string());
    return rom::lookup(key, probe ? probe->length : 0);
}

std::vector<double> timeSelection(const QString &name, int repeats)
{
    if (!select(name))
        fail(QStringLiteral("%1 was not recognised").arg(name));
    for (int i = 0; i < repeats / 10; ++i)
        select(name);
    std::vector<double> ms;
    ms.reserve(std::size_t(repeats));
    for (int i = 0; i < repeats; ++i) {
        const auto start = Clock::now();
        const rom::GameRow *row = select(name);
        ms.push_back(msSince(start));
        if (!row)
            fail(QStringLiteral("%1 was not recognised").arg(name));
    }
    return ms;
}

qint64 fileSize(const char *name)
{
    struct stat st {};
    return ::stat(name, &st) == 0 ? st.st_size : 0;
}

bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return true;
}

// Orphaned stand-ins are re-parented to this process (a subreaper), so their
// end can be awaited and nothing is left behind between repetitions.
bool reaped(pid_t pid)
{
    int status = 0;
    while (const pid_t got = ::waitpid(-1, &status, WNOHANG)) {
        if (got == pid)
            return true;
        if (got < 0)
            return true; // no children left: it has already been reaped
    }
    return false;
}

struct RunTimes {
    std::vector<double> started; // startTask has returned the exec'd pid
    std::vector<double> logged;  // the stand-in's main() has written its line
};

RunTimes timeRun(int repeats)
{
    options::CheckValues checks{};
    checks[3] = 1; // Check4 with Text1: " -r50"
    checks[0] = 1;
    options::FieldTexts fields;
    fields[0] = QStringLiteral("50");

    RunTimes times;
    for (int i = 0; i < repeats + 3; ++i) {
        const qint64 logBefore = fileSize("quex.log");
        const auto start = Clock::now();

        const QString line = options::buildOptionsLine(checks, fields, QLatin1Char('.'));
        const auto rom = launch::commandLineRomName(QByteArrayLiteral("AIRSEA.BIN"));
        if (!rom)
            fail(QStringLiteral("the ROM name was refused"));
        const QByteArray script = launch::scriptBytes(line.toLatin1(), *rom);
        if (auto failure = launch::writeScript(script))
            fail(*failure);
        const auto started = launch::startTask(launch::kScriptName, script);
        const double startedMs = msSince(start);
        if (const auto *failure = std::get_if<launch::StartFailure>(&started))
            fail(failure->message);
        const auto pid = static_cast<pid_t>(std::get<double>(started));

        // startTask returns once exec has succeeded; the pid must name the
        // stand-in now (or a process that already ended after running it).
        char exe[4096];
        const QByteArray link = "/proc/" + QByteArray::number(pid) + "/exe";
        const ssize_t got = ::readlink(link.constData(), exe, sizeof exe - 1);
        if (got > 0 && !QByteArray(exe, got).endsWith("/quex.exe"))
            fail(QStringLiteral("pid %1 runs %2, not the stand-in").arg(pid).arg(QString::fromLocal8Bit(exe, got)));

        if (!waitFor([&] { return fileSize("quex.log") > logBefore; }, std::chrono::seconds(10)))
            fail(QStringLiteral("the stand-in wrote nothing to quex.log"));
        const double loggedMs = msSince(start);
        if (!waitFor([&] { return reaped(pid); }, std::chrono::seconds(10)))
            fail(QStringLiteral("the stand-in (pid %1) did not end").arg(pid));

        if (i >= 3) { // the first runs fill caches
            times.started.push_back(startedMs);
            times.logged.push_back(loggedMs);
        }
    }
    return times;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s STANDIN [SELECTION_REPEATS RUN_REPEATS]\n", argv[0]);
        return 2;
    }
    const QString standin = QFile::decodeName(argv[1]);
    const int selectionRepeats = argc == 4 ? std::atoi(argv[2]) : 20000;
    const int runRepeats = argc == 4 ? std::atoi(argv[3]) : 200;
    if (selectionRepeats < 1 || runRepeats < 1)
        fail(QStringLiteral("repeat counts must be positive"));

    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        fail(QStringLiteral("cannot make a scratch folder: %1").arg(dir.errorString()));

    writeRom(QStringLiteral("AIRSEA.BIN"), 2048, 2048);
    writeRom(QStringLiteral("HUGE.BIN"), 4096, qint64(4) << 30);
    writeRom(QStringLiteral("LONGLINE.BIN"), qint64(64) << 20, qint64(64) << 20);

    print("select_2k", timeSelection(QStringLiteral("AIRSEA.BIN"), selectionRepeats));
    print("select_4g_sparse", timeSelection(QStringLiteral("HUGE.BIN"), selectionRepeats));
    print("select_64m_no_cr", timeSelection(QStringLiteral("LONGLINE.BIN"), selectionRepeats));

    if (!QFile::copy(standin, QStringLiteral("quex.exe"))
        || !QFile::setPermissions(QStringLiteral("quex.exe"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        fail(QStringLiteral("cannot copy the stand-in %1").arg(standin));
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    const RunTimes run = timeRun(runRepeats);
    print("run_started", run.started);
    print("run_logged", run.logged);
    return 0;
}
