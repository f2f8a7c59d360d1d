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

// Starts the launch script just written as `scriptName` in the current
// folder, whose bytes are `script`, with a normal focused window, and returns
// its task id without waiting for it. Where there is no batch interpreter the
// command line is taken from `script` itself: no other file of the folder is
// ever read or run in its place.
std::variant<double, StartFailure> startTask(const QByteArray &scriptName, const QByteArray &script);

// Called once at start, so that a write running into a limit of the system
// (the file-size limit) fails and is reported instead of ending the program.
void prepareProcess();

} // namespace launch
