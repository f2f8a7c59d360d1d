#include "launch/task.h"

#include "launch/after_fork_posix.h"
#include "launch/program_lookup_posix.h"
#include "launch/report_pipe.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>
#include <optional>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// There is no batch interpreter here, so the script's command line is run
// directly, the way the interpreter would have run it, by a watcher process
// (after_fork_posix.cpp). This is the front end's side: the start, and the
// watch over the report pipe.

namespace launch {

namespace {

using report::Message;

static_assert(report::kTailBytes == kOutputTailBytes);

// How long the front end waits for the task's exec, which a program on a
// slow or hung file system can hold up. Past it the task counts as started
// rather than keeping the user waiting.
constexpr int kExecWaitMs = 1000;

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

// The first complete message of `received`, taken from its front.
std::optional<std::pair<Message, QByteArray>> takeMessage(QByteArray &received)
{
    Message message;
    const std::size_t size = report::firstMessage(received.constData(), std::size_t(received.size()), message);
    if (size == 0)
        return std::nullopt;
    QByteArray bytes = received.mid(sizeof message, qsizetype(size - sizeof message));
    received.remove(0, qsizetype(size));
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

// What the watcher said until the task ran: its pid, or why it did not
// start. "Started" follows the fork at once, however long a busy machine
// takes to schedule it, so it is waited for without a limit: the pipe closes
// should the watcher die first. Later messages stay in `received` for the
// watch.
std::variant<double, StartFailure> readStartReport(int fd, const QByteArray &path, QByteArray &received)
{
    QDeadlineTimer deadline(QDeadlineTimer::Forever);
    pid_t started = -1;
    for (;;) {
        while (const auto message = takeMessage(received)) {
            switch (message->first.kind) {
            case Message::Started:
                started = message->first.value;
                deadline.setRemainingTime(kExecWaitMs);
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

std::variant<Spawned, StartFailure> spawnWatched(ProgramToRun run, std::vector<QByteArray> environment)
{
    const std::vector<char *> argv = pointersTo(run.argv);
    const std::vector<char *> envp = pointersTo(environment);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return cannotStart(run.program, qt_error_string(errno));
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
        return cannotStart(run.program, qt_error_string(error));
    }

    const WatcherPlan plan{run.path.constData(), argv.data(), envp.data(), pipeFds[1], descriptorLimit(),
                           kWatchSeconds * 1000LL};
    const pid_t middle = ::fork();
    if (middle < 0) {
        const int error = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return cannotStart(run.program, qt_error_string(error));
    }
    if (middle == 0)
        runAfterFork(plan);

    ::close(pipeFds[1]);
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    QByteArray received;
    const auto result = readStartReport(pipeFds[0], run.program, received);
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
    auto run = programToRun(scriptName, script);
    if (const auto *failure = std::get_if<StartFailure>(&run))
        return *failure;
    auto spawned = spawnWatched(std::move(std::get<ProgramToRun>(run)), taskEnvironment(startup));
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
