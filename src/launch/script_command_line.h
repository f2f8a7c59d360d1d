#pragma once
// Private to the POSIX task layer, which runs the script's command line
// itself where Windows would hand the script to its command interpreter.

#include <QByteArray>

#include <vector>

namespace launch {

// Splits the command line of a launch script the way the interpreter and the
// Windows C runtime would: "%%" stands for "%", blanks and tabs separate
// arguments, double quotes group and are removed.
std::vector<QByteArray> splitScriptCommandLine(const QByteArray &line);

} // namespace launch
