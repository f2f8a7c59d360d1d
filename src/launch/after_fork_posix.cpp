#include "launch/after_fork_posix.h"

#include "launch/report_pipe.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

// The processes of one start: the front end forks a short-lived middle
// process, which starts a new session and forks the watcher, then ends at
// once; the front end reaps it. The watcher, an orphan that init reaps,
// forks and execs the task and stays its parent: it passes the task's output
// and error output on to the front end's own, keeps their last bytes, and
// tells the front end over the report pipe how the task ended, if it ends
// within the watch. Then it closes the pipe and goes on passing output on,
// after the front end has gone too, until the task and everything that holds
// its output have ended. So the task is never the front end's child, never
// waits for the front end and never loses the reader of its output: nothing
// the task does may end the watcher.

namespace launch {

namespace {

using report::Message;

// What the watcher holds of one output stream that its destination has not
// taken yet; while it is full, that stream is not read.
constexpr std::size_t kForwardBytes = 64 * 1024;
// Writes to the front end's outputs, in pieces a pipe that polled writable
// takes without blocking.
constexpr std::size_t kWriteBytes = PIPE_BUF;

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

void closeDescriptors(unsigned first, unsigned last, int maxFd)
{
    if (first > last)
        return;
    if (::close_range(first, last, 0) == 0)
        return;
    for (unsigned fd = first; fd <= last && fd < unsigned(maxFd); ++fd)
        ::close(int(fd));
}

// Closes every descriptor but 0 to 2 and `keep`.
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
// output and error output to the watcher, then exec. Every other descriptor
// the watcher holds closes on exec. Why exec failed goes to `execFd`.
[[noreturn]] void execTask(const WatcherPlan &plan, int outFd, int errFd, int execFd)
{
    resetSignals();
    ::dup2(outFd, STDOUT_FILENO);
    ::dup2(errFd, STDERR_FILENO);
    ::execve(plan.path, plan.argv, plan.envp);
    const int error = errno;
    report::writeAll(execFd, &error, sizeof error);
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

bool isBlank(char c)
{
    return c == '\n' || c == '\r' || c == ' ' || c == '\t';
}

// The last report::kTailBytes of both outputs, in the order they came.
struct Tail {
    static constexpr std::size_t kBytes = report::kTailBytes;
    char bytes[kBytes];
    unsigned long long total = 0;

    void add(const char *data, std::size_t size)
    {
        // Only the last kBytes of it can stay; in at most two pieces.
        const std::size_t kept = std::min(size, kBytes);
        total += size - kept;
        const std::size_t at = std::size_t(total % kBytes);
        const std::size_t first = std::min(kept, kBytes - at);
        std::memcpy(bytes + at, data + size - kept, first);
        std::memcpy(bytes, data + size - kept + first, kept - first);
        total += kept;
    }
    // In order; where older bytes were dropped, from the first whole line on
    // if one follows, else from the first whole character: a progress count
    // rewritten after carriage returns makes one line longer than it all, and
    // the error at its end is what the reader needs.
    std::size_t copyTo(char *out) const
    {
        const std::size_t kept = std::size_t(std::min<unsigned long long>(total, kBytes));
        for (std::size_t i = 0; i < kept; ++i)
            out[i] = bytes[(total - kept + i) % kBytes];
        if (total <= kBytes)
            return kept;
        const char *end = out + kept;
        const char *lineBreak = std::find(static_cast<const char *>(out), end, '\n');
        std::size_t start = 0;
        if (std::any_of(lineBreak, end, [](char c) { return !isBlank(c); })) {
            start = std::size_t(lineBreak - out) + 1;
        } else {
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
            stream.to = -1; // gone, broken or full: the task's output is still read, and dropped
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
// output on and watches it. Never returns.
[[noreturn]] void watchTask(const WatcherPlan &plan)
{
    int reportFd = plan.reportFd;
    resetSignals();
    // A front end that has gone, an output that has closed or a file that
    // has reached the size limit: each write then fails, and is dropped.
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
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
        report::send(reportFd, Message::ForkFailed, errno);
        ::_exit(0);
    }
    timespec started {};
    ::clock_gettime(CLOCK_MONOTONIC, &started);
    const pid_t task = ::fork();
    if (task == 0)
        execTask(plan, out[1], err[1], exec[1]);
    if (task < 0) {
        report::send(reportFd, Message::ForkFailed, errno);
        ::_exit(0);
    }
    ::close(out[1]);
    ::close(err[1]);
    ::close(exec[1]);
    report::send(reportFd, Message::Started, task);

    // The exec pipe closes when exec succeeds, or brings its error.
    int execError = 0;
    ssize_t got;
    while ((got = ::read(exec[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    if (got == sizeof execError) {
        report::send(reportFd, Message::ExecFailed, execError);
        while (::waitpid(task, nullptr, 0) < 0 && errno == EINTR) {
        }
        ::_exit(0);
    }
    ::close(exec[0]);
    report::send(reportFd, Message::Running, 0);

    const int childFd = ::signalfd(-1, &childEnded, SFD_NONBLOCK | SFD_CLOEXEC);
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
    char report[sizeof(Message) + report::kTailBytes];
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
        if (millisecondsSince(started) >= plan.watchMs || status == 0) {
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
        if (reportFd >= 0 && reportSize == 0 && millisecondsSince(started) >= plan.watchMs) {
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
            timeout = int(std::max(0LL, plan.watchMs - millisecondsSince(started)));
        if (!taskReaped && childFd < 0)
            timeout = timeout < 0 ? 100 : std::min(timeout, 100);
        if (::poll(fds, nfds_t(count), timeout) < 0 && errno != EINTR) {
            // Short of memory for a moment: tried again after a pause, as
            // leaving would end the task at its next write.
            const timespec pause{0, 10'000'000};
            ::nanosleep(&pause, nullptr);
        }

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

} // namespace

[[noreturn]] void runAfterFork(const WatcherPlan &plan)
{
    // Before anything else, none of the front end's descriptors but the
    // report pipe: its display connection above all, which would keep the
    // front end's windows on the screen after it has ended. And a name of
    // its own, so that process lists do not show a second front end.
    int keep[] = {plan.reportFd};
    closeAllBut(keep, 1, plan.maxFd);
    ::prctl(PR_SET_NAME, kWatcherName, 0, 0, 0);
    // A new session, so a terminal's Ctrl+C meant for the front end spares
    // the emulator, which is meant to outlive it.
    ::setsid();
    const pid_t watcher = ::fork();
    if (watcher == 0)
        watchTask(plan);
    if (watcher < 0)
        report::send(plan.reportFd, Message::ForkFailed, errno);
    ::_exit(0);
}

} // namespace launch
