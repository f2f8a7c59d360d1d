#include "launch/task.h"

#include "launch/script_command_line.h"
#include "platform/files.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>
#include <optional>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// There is no batch interpreter here, so the script's command line is run
// directly, the way the interpreter would have run it.
//
// The processes of one start: the front end forks a short-lived middle
// process, which starts a new session and forks the watcher, then ends at
// once; the front end reaps it. The watcher, an orphan that init reaps,
// forks and execs the task and stays its parent: it passes the task's output
// and error output on to the front end's own, keeps their last bytes, and
// tells the front end over the report pipe how the task ended, if it ends
// within kWatchSeconds. Then it closes the pipe and goes on passing output
// on, after the front end has gone too, until the task and everything that
// holds its output have ended. So the task is never the front end's child,
// never waits for the front end and never loses the reader of its output.

namespace launch {

namespace {

constexpr int kExecWaitMs = 1000;
// What the watcher holds of one output stream that its destination has not
// taken yet; while it is full, that stream is not read.
constexpr std::size_t kForwardBytes = 64 * 1024;
// Writes to the front end's outputs, in pieces a pipe that polled writable
// takes without blocking.
constexpr std::size_t kWriteBytes = PIPE_BUF;

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

// Where the program named on the command line is: a path as written, else a
// regular file of that name in the folder (any letter case), else PATH. A
// folder or a dangling link of that name is no program and hides none on
// PATH. Relative paths throughout: the folder's own name may not survive a
// trip through text (bytes that are not UTF-8).
std::variant<QByteArray, StartFailure> locateProgram(const QByteArray &program)
{
    if (program.contains('/'))
        return program;
    if (const auto entry = platform::findRegularFile(program))
        return "./" + *entry;
    if (const QString onPath = QStandardPaths::findExecutable(QFile::decodeName(program)); !onPath.isEmpty())
        return QFile::encodeName(onPath);
    return StartFailure{QStringLiteral("Cannot start %1: there is no program file of that name in %2, nor on PATH (%3)")
                            .arg(QFile::decodeName(program), QDir::toNativeSeparators(platform::currentFolder().path),
                                 QString::fromLocal8Bit(qgetenv("PATH")))};
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

// Everything the processes after the fork need is prepared before it: they
// only make async-signal-safe calls.
std::vector<char *> pointersTo(std::vector<QByteArray> &strings)
{
    std::vector<char *> pointers;
    for (QByteArray &string : strings)
        pointers.push_back(string.data());
    pointers.push_back(nullptr);
    return pointers;
}

int descriptorLimit()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1024;
    return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 65536));
}

// ---------------------------------------------------------------- the report pipe

// What the watcher tells the front end: a header, then `length` bytes.
struct Message {
    enum Kind : int { Started = 1, Running, ForkFailed, ExecFailed, Ended };
    int kind;
    int value;  // Started: the task's pid; *Failed: errno; Ended: its wait status
    int length; // Ended: the last bytes of its output that follow
};

void writeAll(int fd, const void *bytes, std::size_t size)
{
    const auto *at = static_cast<const char *>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, at, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        at += n;
        size -= std::size_t(n);
    }
}

void send(int fd, int kind, int value)
{
    const Message message{kind, value, 0};
    writeAll(fd, &message, sizeof message);
}

// The messages of `received` that are complete, taken from its front.
std::optional<std::pair<Message, QByteArray>> takeMessage(QByteArray &received)
{
    if (received.size() < qsizetype(sizeof(Message)))
        return std::nullopt;
    Message message;
    std::memcpy(&message, received.constData(), sizeof message);
    const qsizetype length = std::clamp(message.length, 0, kOutputTailBytes);
    if (received.size() < qsizetype(sizeof message) + length)
        return std::nullopt;
    QByteArray bytes = received.mid(sizeof message, length);
    received.remove(0, qsizetype(sizeof message) + length);
    return std::pair{message, std::move(bytes)};
}

QString howItEnded(int status)
{
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        const char *abbreviation = ::sigabbrev_np(sig);
        const char *description = ::sigdescr_np(sig);
        if (!abbreviation || !description)
            return QStringLiteral("by signal %1").arg(sig);
        return QStringLiteral("by signal %1 (SIG%2, %3)")
            .arg(sig)
            .arg(QLatin1String(abbreviation), QString::fromLocal8Bit(description));
    }
    return QStringLiteral("with exit status %1").arg(WEXITSTATUS(status));
}

// ---------------------------------------------------------------- after the fork

// Async-signal-safe from here to the end of the watcher: the front end may
// have other threads, whose locks a forked process must never wait for.

void resetSignals()
{
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP)
            ::sigaction(sig, &byDefault, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
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

void closeDescriptors(unsigned first, unsigned last, int maxFd)
{
    if (first > last)
        return;
#if defined(__linux__)
    if (::close_range(first, last, 0) == 0)
        return;
#endif
    for (unsigned fd = first; fd <= last && fd < unsigned(maxFd); ++fd)
        ::close(int(fd));
}

// Closes every descriptor but 0 to 2 and `keep`: the watcher must hold none
// of the front end's (its display connection above all, which would keep the
// front end's windows on the screen after it has ended).
void closeAllBut(int *keep, int count, int maxFd)
{
    std::sort(keep, keep + count);
    unsigned next = 3;
    for (int i = 0; i < count; ++i) {
        if (keep[i] < int(next))
            continue;
        closeDescriptors(next, unsigned(keep[i]) - 1, maxFd);
        next = unsigned(keep[i]) + 1;
    }
    closeDescriptors(next, ~0U, maxFd);
}

// The emulator's side of the fork: the signal state of a fresh process, its
// output and error output to the watcher, none of the front end's
// descriptors, then exec. Why exec failed goes to `execFd`.
[[noreturn]] void execTask(const char *path, char *const argv[], char *const envp[], int outFd, int errFd,
                           int execFd, int maxFd)
{
    resetSignals();
    ::dup2(outFd, STDOUT_FILENO);
    ::dup2(errFd, STDERR_FILENO);
    markDescriptorsCloseOnExec(maxFd);
    ::execve(path, argv, envp);
    const int error = errno;
    writeAll(execFd, &error, sizeof error);
    ::_exit(127);
}

long long millisecondsSince(const timespec &start)
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
}

// One of the task's outputs on its way to the front end's.
struct Stream {
    int from = -1; // the task's end of it, -1 once all its writers have gone
    int to = -1;   // the front end's output, -1 once that refuses more
    char pending[kForwardBytes];
    std::size_t done = 0, size = 0;

    bool open() const { return from >= 0 || size > done; }
    bool readable() const { return from >= 0 && size == done; }
    bool writable() const { return size > done; }
};

// The last kOutputTailBytes of both outputs, in the order they came.
struct Tail {
    char bytes[kOutputTailBytes];
    unsigned long long total = 0;

    void add(const char *data, std::size_t size)
    {
        // Only the last kOutputTailBytes of it can stay; in at most two pieces.
        const std::size_t kept = std::min<std::size_t>(size, kOutputTailBytes);
        total += size - kept;
        const std::size_t at = std::size_t(total % kOutputTailBytes);
        const std::size_t first = std::min(kept, kOutputTailBytes - at);
        std::memcpy(bytes + at, data + size - kept, first);
        std::memcpy(bytes, data + size - kept + first, kept - first);
        total += kept;
    }
    // In order; where older bytes were dropped, from the first whole line on
    // (or the first whole character, in a line longer than it all).
    std::size_t copyTo(char *out) const
    {
        const std::size_t kept = std::size_t(std::min<unsigned long long>(total, kOutputTailBytes));
        for (std::size_t i = 0; i < kept; ++i)
            out[i] = bytes[(total - kept + i) % kOutputTailBytes];
        if (total <= kOutputTailBytes)
            return kept;
        std::size_t start = 0;
        while (start < kept && out[start] != '\n')
            ++start;
        if (start < kept) {
            ++start;
        } else {
            start = 0;
            while (start < kept && (static_cast<unsigned char>(out[start]) & 0xC0) == 0x80)
                ++start;
        }
        std::memmove(out, out + start, kept - start);
        return kept - start;
    }
};

// Passes what the stream holds on, as far as its destination takes it now.
void forward(Stream &stream)
{
    while (stream.writable() && stream.to >= 0) {
        // Writable, or broken (then the write says how).
        pollfd ready{stream.to, POLLOUT, 0};
        if (::poll(&ready, 1, 0) <= 0)
            return;
        const std::size_t size = std::min(stream.size - stream.done, kWriteBytes);
        // A socket (the journal's) is told not to wait; other kinds that
        // polled writable take a piece this size without waiting.
        ssize_t n = ::send(stream.to, stream.pending + stream.done, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK)
            n = ::write(stream.to, stream.pending + stream.done, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (n <= 0)
            stream.to = -1; // gone or broken: the task's output is still read, and dropped
        else
            stream.done += std::size_t(n);
    }
    if (stream.to < 0)
        stream.done = stream.size;
}

// Reads what the task wrote, while the stream may hold more.
void take(Stream &stream, Tail &tail)
{
    while (stream.readable()) {
        const ssize_t n = ::read(stream.from, stream.pending, sizeof stream.pending);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            ::close(stream.from);
            stream.from = -1;
            return;
        }
        tail.add(stream.pending, std::size_t(n));
        stream.done = 0;
        stream.size = std::size_t(n);
        forward(stream);
    }
}

// The watcher: starts the task, says how the start went, then passes its
// output on and watches it (see the top of this file). Never returns.
[[noreturn]] void watchTask(const char *path, char *const argv[], char *const envp[], int reportFd, int maxFd)
{
    resetSignals();
    ::signal(SIGPIPE, SIG_IGN); // a front end that has gone, or an output that has closed
    sigset_t childEnded;
    sigemptyset(&childEnded);
    sigaddset(&childEnded, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &childEnded, nullptr); // read from a descriptor instead
    // A standard descriptor the front end was started without reads and
    // writes nothing, rather than being taken by the pipes below.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (::fcntl(fd, F_GETFD) < 0)
            ::open("/dev/null", O_RDWR); // the lowest free descriptor: this one

    int out[2], err[2], exec[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 || ::pipe2(exec, O_CLOEXEC) != 0) {
        send(reportFd, Message::ForkFailed, errno);
        ::_exit(0);
    }
    timespec started {};
    ::clock_gettime(CLOCK_MONOTONIC, &started);
    const pid_t task = ::fork();
    if (task == 0)
        execTask(path, argv, envp, out[1], err[1], exec[1], maxFd);
    if (task < 0) {
        send(reportFd, Message::ForkFailed, errno);
        ::_exit(0);
    }
    ::close(out[1]);
    ::close(err[1]);
    ::close(exec[1]);
    send(reportFd, Message::Started, task);

    // The exec pipe closes when exec succeeds, or brings its error.
    int execError = 0;
    ssize_t got;
    while ((got = ::read(exec[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    if (got == sizeof execError) {
        send(reportFd, Message::ExecFailed, execError);
        while (::waitpid(task, nullptr, 0) < 0 && errno == EINTR) {
        }
        ::_exit(0);
    }
    ::close(exec[0]);
    send(reportFd, Message::Running, 0);

    const int childFd = ::signalfd(-1, &childEnded, SFD_NONBLOCK | SFD_CLOEXEC);
    int keep[] = {reportFd, out[0], err[0], childFd};
    closeAllBut(keep, childFd >= 0 ? 4 : 3, maxFd);
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    ::fcntl(err[0], F_SETFL, O_NONBLOCK);
    ::fcntl(reportFd, F_SETFL, O_NONBLOCK);

    Stream streams[2];
    streams[0].from = out[0];
    streams[0].to = STDOUT_FILENO;
    streams[1].from = err[0];
    streams[1].to = STDERR_FILENO;
    Tail tail;
    bool taskReaped = false;
    // The report: a message and the tail of the output, sent as the pipe takes it.
    char report[sizeof(Message) + kOutputTailBytes];
    std::size_t reportSize = 0, reportSent = 0;

    const auto reap = [&] {
        int status = 0;
        const pid_t ended = ::waitpid(task, &status, WNOHANG);
        if (ended != task)
            return;
        taskReaped = true;
        if (reportFd < 0)
            return;
        // Everything the task wrote is in the pipes now; the report shows its end.
        for (Stream &stream : streams)
            take(stream, tail);
        if (millisecondsSince(started) >= kWatchSeconds * 1000LL || status == 0) {
            ::close(reportFd);
            reportFd = -1;
            return;
        }
        const int length = int(tail.copyTo(report + sizeof(Message)));
        const Message message{Message::Ended, status, length};
        std::memcpy(report, &message, sizeof message);
        reportSize = sizeof message + std::size_t(length);
    };

    while (streams[0].open() || streams[1].open() || !taskReaped || reportFd >= 0) {
        if (reportFd >= 0 && reportSize == 0 && millisecondsSince(started) >= kWatchSeconds * 1000LL) {
            ::close(reportFd); // the span is over: the front end hears no more
            reportFd = -1;
        }
        pollfd fds[6];
        int count = 0;
        for (Stream &stream : streams) {
            if (stream.readable())
                fds[count++] = {stream.from, POLLIN, 0};
            else if (stream.writable() && stream.to >= 0)
                fds[count++] = {stream.to, POLLOUT, 0};
        }
        if (!taskReaped)
            fds[count++] = {childFd, POLLIN, 0};
        if (reportFd >= 0 && reportSize > reportSent)
            fds[count++] = {reportFd, POLLOUT, 0};
        // Without a signalfd, the task's end is looked for every 100 ms.
        int timeout = -1;
        if (reportFd >= 0 && reportSize == 0)
            timeout = int(std::max(0LL, kWatchSeconds * 1000LL - millisecondsSince(started)));
        if (!taskReaped && childFd < 0)
            timeout = timeout < 0 ? 100 : std::min(timeout, 100);
        if (::poll(fds, nfds_t(count), timeout) < 0 && errno != EINTR)
            break;

        for (Stream &stream : streams) {
            forward(stream);
            take(stream, tail);
        }
        if (!taskReaped) {
            signalfd_siginfo info;
            while (childFd >= 0 && ::read(childFd, &info, sizeof info) > 0) {
            }
            reap();
        }
        if (reportFd >= 0 && reportSize > reportSent) {
            const ssize_t n = ::write(reportFd, report + reportSent, reportSize - reportSent);
            if (n > 0)
                reportSent += std::size_t(n);
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || reportSent == reportSize) {
                ::close(reportFd);
                reportFd = -1;
            }
        }
    }
    ::_exit(0);
}

// ---------------------------------------------------------------- the front end's side

// What the watcher said until the task ran: its pid, or why it did not
// start. Should loading the program take unusually long, it counts as
// started rather than keeping the user waiting. Later messages stay in
// `received` for the watch.
std::variant<double, StartFailure> readStartReport(int fd, const QByteArray &path, QByteArray &received)
{
    const QDeadlineTimer deadline(kExecWaitMs);
    pid_t started = -1;
    for (;;) {
        while (const auto message = takeMessage(received)) {
            switch (message->first.kind) {
            case Message::Started:
                started = message->first.value;
                break;
            case Message::Running:
                return static_cast<double>(started);
            default:
                return cannotStart(path, qt_error_string(message->first.value));
            }
        }
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[256];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        received.append(buffer, got);
    }
    if (started <= 0)
        return cannotStart(path, QStringLiteral("the process could not be created"));
    return static_cast<double>(started);
}

// Started, the task's id, the front end's end of the report pipe and what
// has come through it so far.
struct Spawned {
    double taskId;
    int reportFd;
    QByteArray received;
};

// `program` is what the task runs, named in messages; `path` what is
// executed (wine, for a Windows program).
std::variant<Spawned, StartFailure> spawnWatched(const QByteArray &path, const QByteArray &program,
                                                 std::vector<QByteArray> args, std::vector<QByteArray> environment)
{
    const std::vector<char *> argv = pointersTo(args);
    const std::vector<char *> envp = pointersTo(environment);
    const int maxFd = descriptorLimit();

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return cannotStart(program, qt_error_string(errno));
    // Never where the watcher's standard descriptors belong, should the
    // front end have been started without them.
    for (int &fd : pipeFds) {
        if (fd > STDERR_FILENO)
            continue;
        const int above = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        ::close(fd);
        fd = above;
    }
    if (pipeFds[0] < 0 || pipeFds[1] < 0) {
        const int error = errno;
        ::close(std::max(pipeFds[0], pipeFds[1]));
        return cannotStart(program, qt_error_string(error));
    }

    const pid_t middle = ::fork();
    if (middle < 0) {
        const int error = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return cannotStart(program, qt_error_string(error));
    }
    if (middle == 0) {
        ::close(pipeFds[0]);
        // A new session, so a terminal's Ctrl+C meant for the front end
        // spares the emulator, which is meant to outlive it.
        ::setsid();
        const pid_t watcher = ::fork();
        if (watcher == 0)
            watchTask(path.constData(), argv.data(), envp.data(), pipeFds[1], maxFd);
        if (watcher < 0)
            send(pipeFds[1], Message::ForkFailed, errno);
        ::_exit(0);
    }

    ::close(pipeFds[1]);
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    QByteArray received;
    const auto result = readStartReport(pipeFds[0], program, received);
    if (const auto *failure = std::get_if<StartFailure>(&result)) {
        ::close(pipeFds[0]);
        return *failure;
    }
    return Spawned{std::get<double>(result), pipeFds[0], std::move(received)};
}

} // namespace

// The front end's end of the report pipe. What comes is handed on from a
// call of its own, after the notifier's: a receiver may end the watch.
struct TaskWatch::PlatformSource final : TaskWatch::Source {
    PlatformSource(TaskWatch *watch, int fd, QByteArray received)
        : fd(fd), received(std::move(received)), notifier(fd, QSocketNotifier::Read)
    {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        QObject::connect(&notifier, &QSocketNotifier::activated, watch, [this, watch] { readFrom(watch); });
    }
    ~PlatformSource() override { ::close(fd); }

    void readFrom(TaskWatch *watch)
    {
        for (;;) {
            char buffer[4096];
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            atEnd = got == 0 || (got < 0 && errno != EAGAIN);
            if (got <= 0)
                break;
            received.append(buffer, got);
        }
        QByteArray rest = received;
        if (atEnd || takeMessage(rest)) {
            notifier.setEnabled(false);
            QMetaObject::invokeMethod(
                watch, [this, watch] { if (watch->m_source.get() == this) deliver(watch); }, Qt::QueuedConnection);
        }
    }

    void deliver(TaskWatch *watch)
    {
        const QPointer<TaskWatch> alive(watch);
        while (const auto message = takeMessage(received)) {
            const auto &[header, bytes] = *message;
            if (header.kind == Message::Ended)
                emit watch->endedEarly(TaskEnd{howItEnded(header.value), bytes});
            else if (header.kind == Message::ExecFailed)
                emit watch->endedEarly(TaskEnd{QStringLiteral("before it ran: ") + qt_error_string(header.value), {}});
            if (!alive || !watch->m_source)
                return;
        }
        if (atEnd)
            watch->finish(); // ends this Source
        else
            notifier.setEnabled(true);
    }

    int fd;
    QByteArray received;
    bool atEnd = false;
    QSocketNotifier notifier;
};

std::variant<double, StartFailure> startTask(const QByteArray &scriptName, const QByteArray &script,
                                             const StartupToken &startup, TaskWatch *watch)
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
    const QString wine = windowsProgram ? QStandardPaths::findExecutable(QStringLiteral("wine")) : QString();
    if (windowsProgram && wine.isEmpty())
        return cannotStart(program, QStringLiteral("it is a Windows program, and it needs wine to run. Install "
                                                   "wine (the Debian package \"wine\") and press Run again."));
    // Wine runs it with the very arguments the native path would get, in
    // this process (its pid is the task id) and with the user's own wine
    // set-up; wine's exit status is the program's. Not through "wine cmd
    // /c": that interpreter reads the script in the OEM code page and
    // garbles names outside ASCII.
    QByteArray path = program;
    if (windowsProgram) {
        path = QFile::encodeName(wine);
        args.front() = program;
        args.insert(args.begin(), path);
    }
    auto spawned = spawnWatched(path, program, std::move(args), taskEnvironment(startup));
    if (const auto *failure = std::get_if<StartFailure>(&spawned))
        return *failure;
    Spawned &started = std::get<Spawned>(spawned);
    if (watch)
        watch->m_source = std::make_unique<TaskWatch::PlatformSource>(watch, started.reportFd, std::move(started.received));
    else
        ::close(started.reportFd);
    return started.taskId;
}

void ignoreFileSizeSignal()
{
    // Ignored, SIGXFSZ turns into EFBIG from write(); the emulator gets the
    // default back, as every signal is reset before exec.
    ::signal(SIGXFSZ, SIG_IGN);
}

} // namespace launch
