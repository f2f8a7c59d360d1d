#pragma once
// What a start runs where there is no batch interpreter: the program the
// launch script's command line names, found as the interpreter would find it,
// with its arguments; wine in front of a Windows program.

#include "launch/task.h"

#include <QByteArray>
#include <QString>

#include <variant>
#include <vector>

namespace launch {

struct ProgramToRun {
    QByteArray path;                // what is executed: the program, or wine
    QByteArray program;             // what the task runs, named in messages
    std::vector<QByteArray> argv;   // argv[0] included
};

std::variant<ProgramToRun, StartFailure> programToRun(const QByteArray &scriptName, const QByteArray &script);

// "Cannot start PATH: REASON", the path as the user knows it.
StartFailure cannotStart(const QByteArray &path, const QString &reason);

} // namespace launch
