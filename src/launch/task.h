#pragma once
// Starting the launch script, and watching the started task for a while.
// One implementation per platform (task_posix.cpp, task_win.cpp).

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <variant>
#include <vector>

namespace launch {

struct StartFailure {
    QString message; // names the file and the reason
};

// What the started task learns from the desktop: a startup token that lets it
// bring its own window forward, where the display system hands them out.
struct StartupToken {
    QByteArray token; // empty: none
};

// How long a started task is watched: the span in which its window is looked
// for too. An emulator that cannot start (a wrong build, a missing library, a
// display it cannot open, a ROM it rejects) ends well within it.
inline constexpr int kWatchSeconds = 10;
// The most of a task's output a report shows: its last lines and bytes.
inline constexpr int kOutputTailLines = 20;
inline constexpr int kOutputTailBytes = 4096;

// A watched task that ended within the span, with a non-zero status or by a
// signal.
struct TaskEnd {
    QString how;       // "with exit status 3", "by signal 11 (SIGSEGV, Segmentation fault)"
    QByteArray output; // the last bytes it wrote to its output and error output, as written
};

class TaskWatch;

// Starts the launch script just written as `scriptName` in the current
// folder, whose bytes are `script`, with a normal focused window, and returns
// its task id without waiting for it. Where there is no batch interpreter the
// command line is taken from `script` itself: no other file of the folder is
// ever read or run in its place. On Windows the interpreter runs a copy of
// `script` of its own, in the user's temporary folder, which goes once the
// interpreter has ended: a later Run that rewrites the script never changes
// what an earlier interpreter still reads. The task gets the front end's environment,
// except that a startup token the front end itself was started with is never
// passed on: only `startup`'s, as XDG_ACTIVATION_TOKEN and DESKTOP_STARTUP_ID.
// Its output and error output reach the front end's own. With `watch`, the
// task is watched for its first kWatchSeconds (see TaskWatch).
std::variant<double, StartFailure> startTask(const QByteArray &scriptName, const QByteArray &script,
                                             const StartupToken &startup = {}, TaskWatch *watch = nullptr);

// Watches one started task from the event loop, never blocking it: when the
// task ends within kWatchSeconds with a non-zero status or by a signal,
// endedEarly() tells how, with the end of its output. finished() follows once
// nothing more can come: the task ended, or the span is over. The task never
// depends on the watch: it runs on, and its output goes on reaching the
// front end's output, after the watch or the whole front end has gone.
class TaskWatch final : public QObject {
    Q_OBJECT
public:
    explicit TaskWatch(QObject *parent = nullptr);
    ~TaskWatch() override;

    bool isWatching() const;

    // The ids of the task's processes at the time of the call, the task's
    // own and those it started, for as long as the function is kept, also
    // after the watch has finished. Empty where the platform has no such
    // list (POSIX: the task's windows are traced by other means).
    std::function<std::vector<quint32>()> processList() const { return m_processes; }

signals:
    void endedEarly(const launch::TaskEnd &end);
    void finished();

private:
    friend std::variant<double, StartFailure> startTask(const QByteArray &, const QByteArray &,
                                                        const StartupToken &, TaskWatch *);
    // The platform's end of the watch: a PlatformSource (task_posix.cpp, task_win.cpp).
    struct Source {
        virtual ~Source() = default;
    };
    struct PlatformSource;
    void finish();
    std::unique_ptr<Source> m_source;
    std::function<std::vector<quint32>()> m_processes;
};

// The last lines of a task's output as a report shows them: at most
// kOutputTailLines lines, as text that holds no control character but line
// breaks, whatever bytes the task wrote.
QString readableOutput(const QByteArray &output);

// Called once at start: a write that runs into the file-size limit then fails
// with EFBIG and is reported, instead of the signal ending the program.
void ignoreFileSizeSignal();

} // namespace launch
