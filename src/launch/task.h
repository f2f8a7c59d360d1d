#pragma once
// Starting the launch script. One implementation per platform
// (task_posix.cpp, task_win.cpp).

#include <QByteArray>
#include <QString>

#include <variant>

namespace launch {

struct StartFailure {
    QString message; // names the file and the reason
};

// What the started task learns from the desktop: a startup token that lets it
// bring its own window forward, where the display system hands them out.
struct StartupToken {
    QByteArray token; // empty: none
};

// Starts the launch script just written as `scriptName` in the current
// folder, whose bytes are `script`, with a normal focused window, and returns
// its task id without waiting for it. Where there is no batch interpreter the
// command line is taken from `script` itself: no other file of the folder is
// ever read or run in its place. The task gets the front end's environment,
// except that a startup token the front end itself was started with is never
// passed on: only `startup`'s, as XDG_ACTIVATION_TOKEN and DESKTOP_STARTUP_ID.
std::variant<double, StartFailure> startTask(const QByteArray &scriptName, const QByteArray &script,
                                             const StartupToken &startup = {});

// Called once at start, so that a write running into a limit of the system
// (the file-size limit) fails and is reported instead of ending the program.
void prepareProcess();

} // namespace launch
