#include "launch/task.h"

#include "launch/script_command_line.h"
#include "platform/files.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>
#include <optional>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// There is no batch interpreter here, so the script's command line is run
// directly, the way the interpreter would have run it.

namespace launch {

namespace {

constexpr int kExecWaitMs = 1000;

StartFailure cannotStart(const QByteArray &path, const QString &reason)
{
    return StartFailure{QStringLiteral("Cannot start %1: %2").arg(platform::shownPath(path), reason)};
}

bool isIgnoredScriptLine(QByteArray line)
{
    line = line.trimmed().toLower();
    if (line.startsWith('@'))
        line.remove(0, 1);
    return line.isEmpty() || line == "\"" || line == "echo off";
}

// The first line of the script that is a command, or empty.
QByteArray commandLineOf(const QByteArray &script)
{
    for (QByteArray line : script.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!isIgnoredScriptLine(line))
            return line;
    }
    return {};
}

// Where the program named on the command line is: a path as written, else
// the folder (any letter case), else PATH. Relative paths throughout: the
// folder's own name may not survive a trip through text (bytes that are not
// UTF-8).
std::variant<QByteArray, StartFailure> locateProgram(const QByteArray &program)
{
    if (program.contains('/'))
        return program;
    if (const auto entry = platform::findFile(program))
        return "./" + *entry;
    if (const QString onPath = QStandardPaths::findExecutable(QFile::decodeName(program)); !onPath.isEmpty())
        return QFile::encodeName(onPath);
    return StartFailure{QStringLiteral("Cannot start %1: it was not found in %2 or on PATH")
                            .arg(QFile::decodeName(program), QDir::toNativeSeparators(QDir::currentPath()))};
}

// A Windows program: "MZ" at its start, and "PE\0\0" where the offset stored
// at 0x3C points. Read without waiting on a pipe, a few bytes at most.
bool isWindowsProgram(const QByteArray &path)
{
    constexpr qint64 kLargestHeaderOffset = 1 << 20;
    auto opened = platform::openForReading(path);
    if (!std::holds_alternative<std::unique_ptr<QFile>>(opened))
        return false;
    QFile &file = *std::get<std::unique_ptr<QFile>>(opened);
    const QByteArray start = file.read(0x40);
    if (start.size() < 0x40 || !start.startsWith("MZ"))
        return false;
    const quint32 offset = qFromLittleEndian<quint32>(start.constData() + 0x3C);
    return offset <= kLargestHeaderOffset && file.seek(offset) && file.read(4) == QByteArrayView("PE\0\0", 4);
}

std::optional<StartFailure> checkRunnable(const QByteArray &path, bool windowsProgram)
{
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return cannotStart(path, qt_error_string(errno));
    if (S_ISDIR(st.st_mode))
        return cannotStart(path, QStringLiteral("it is a directory"));
    // Wine reads a Windows program; only a native one must be executable.
    if (!windowsProgram && ::access(path.constData(), X_OK) != 0)
        return cannotStart(path, QStringLiteral("it is not executable"));
    return std::nullopt;
}

// Messages from the children to the front end, each written with one write().
struct ChildMessage {
    enum Kind : int { Started = 1, ForkFailed, ExecFailed };
    int kind;
    int value;
};

void sendFromChild(int fd, int kind, int value)
{
    const ChildMessage message{kind, value};
    while (::write(fd, &message, sizeof message) < 0 && errno == EINTR) {
    }
}

int descriptorLimit()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1024;
    return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 65536));
}

void markDescriptorsCloseOnExec(int maxFd)
{
#if defined(__linux__) && defined(CLOSE_RANGE_CLOEXEC)
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
#endif
    for (int fd = 3; fd < maxFd; ++fd)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// The emulator's side of the fork: the signal state of a fresh process, none
// of the front end's descriptors, then exec. Only async-signal-safe calls.
// The front end's environment for the task: any startup token of the front
// end's own start left out, the fresh one put in.
std::vector<QByteArray> taskEnvironment(const StartupToken &startup)
{
    constexpr QByteArrayView kTokenNames[] = {"XDG_ACTIVATION_TOKEN=", "DESKTOP_STARTUP_ID="};
    std::vector<QByteArray> variables;
    for (char **entry = environ; entry && *entry; ++entry) {
        const QByteArrayView variable(*entry);
        if (std::none_of(std::begin(kTokenNames), std::end(kTokenNames),
                         [variable](QByteArrayView name) { return variable.startsWith(name); }))
            variables.emplace_back(*entry);
    }
    if (!startup.token.isEmpty())
        for (QByteArrayView name : kTokenNames)
            variables.push_back(name.toByteArray() + startup.token);
    return variables;
}

[[noreturn]] void execInChild(const char *path, char *const argv[], char *const envp[], int reportFd, int maxFd)
{
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP)
            ::sigaction(sig, &byDefault, nullptr);
    }
    markDescriptorsCloseOnExec(maxFd);
    ::execve(path, argv, envp);
    sendFromChild(reportFd, ChildMessage::ExecFailed, errno);
    ::_exit(127);
}

// What the children reported: the emulator's pid, or why it did not start.
// The pipe closes when exec succeeds; should loading the program take
// unusually long, it counts as started rather than keeping the user waiting.
std::variant<double, StartFailure> readStartReport(int fd, const QByteArray &path)
{
    QByteArray received;
    const QDeadlineTimer deadline(kExecWaitMs);
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[64];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        received.append(buffer, got);
    }

    pid_t started = -1;
    for (qsizetype at = 0; at + qsizetype(sizeof(ChildMessage)) <= received.size(); at += sizeof(ChildMessage)) {
        ChildMessage message;
        std::memcpy(&message, received.constData() + at, sizeof message);
        if (message.kind != ChildMessage::Started)
            return cannotStart(path, qt_error_string(message.value));
        started = message.value;
    }
    if (started <= 0)
        return cannotStart(path, QStringLiteral("the process could not be created"));
    return static_cast<double>(started);
}

// Double fork, so the emulator is nobody's child here and leaves no zombie
// behind. Everything the children need is prepared before the fork.
std::vector<char *> pointersTo(std::vector<QByteArray> &strings)
{
    std::vector<char *> pointers;
    for (QByteArray &string : strings)
        pointers.push_back(string.data());
    pointers.push_back(nullptr);
    return pointers;
}

std::variant<double, StartFailure> spawnDetached(const QByteArray &path, std::vector<QByteArray> args,
                                                 std::vector<QByteArray> environment)
{
    const std::vector<char *> argv = pointersTo(args);
    const std::vector<char *> envp = pointersTo(environment);
    const int maxFd = descriptorLimit();

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return cannotStart(path, qt_error_string(errno));

    const pid_t middle = ::fork();
    if (middle < 0) {
        const int error = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return cannotStart(path, qt_error_string(error));
    }
    if (middle == 0) {
        // A new session, so a terminal's Ctrl+C meant for the front end
        // spares the emulator, which is meant to outlive it.
        ::setsid();
        const pid_t child = ::fork();
        if (child == 0)
            execInChild(path.constData(), argv.data(), envp.data(), pipeFds[1], maxFd);
        sendFromChild(pipeFds[1], child < 0 ? ChildMessage::ForkFailed : ChildMessage::Started,
                      child < 0 ? errno : child);
        ::_exit(0);
    }

    ::close(pipeFds[1]);
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    auto result = readStartReport(pipeFds[0], path);
    ::close(pipeFds[0]);
    return result;
}

} // namespace

std::variant<double, StartFailure> startTask(const QByteArray &scriptName, const QByteArray &script,
                                             const StartupToken &startup)
{
    const QByteArray commandLine = commandLineOf(script);
    if (commandLine.isEmpty())
        return StartFailure{QStringLiteral("Cannot start the launch script %1: it holds no command line")
                                .arg(platform::shownPath(scriptName))};
    std::vector<QByteArray> args = splitScriptCommandLine(commandLine);
    if (args.empty() || args.front().isEmpty())
        return StartFailure{QStringLiteral("Cannot start the launch script %1: its command line names no program")
                                .arg(platform::shownPath(scriptName))};

    const auto located = locateProgram(args.front());
    if (const auto *failure = std::get_if<StartFailure>(&located))
        return *failure;
    const QByteArray &program = std::get<QByteArray>(located);
    const bool windowsProgram = isWindowsProgram(program);
    if (auto failure = checkRunnable(program, windowsProgram))
        return *failure;
    if (!windowsProgram)
        return spawnDetached(program, std::move(args), taskEnvironment(startup));

    // Wine runs it with the very arguments the native path would get, in
    // this process (its pid is the task id) and with the user's own wine
    // set-up. Not through "wine cmd /c": that interpreter reads the script
    // in the OEM code page and garbles names outside ASCII.
    const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    if (wine.isEmpty())
        return cannotStart(program, QStringLiteral("it is a Windows program, and it needs wine to run. Install "
                                                   "wine (the Debian package \"wine\") and press Run again."));
    const QByteArray winePath = QFile::encodeName(wine);
    args.front() = program;
    args.insert(args.begin(), winePath);
    return spawnDetached(winePath, std::move(args), taskEnvironment(startup));
}

void prepareProcess()
{
    // Ignored, SIGXFSZ turns into EFBIG from write(); the emulator gets the
    // default back, as every signal is reset before exec.
    ::signal(SIGXFSZ, SIG_IGN);
}

} // namespace launch
