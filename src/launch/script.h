#pragma once
// The launch script "Quex.bat": its exact bytes, the ROM name rules, and
// writing it without ever leaving a half-written file.

#include <QByteArray>
#include <QString>

#include <optional>

namespace launch {

// One spelling for writing the script and for starting it, so both name the
// same file on every file system.
inline constexpr char kScriptName[] = "Quex.bat";
inline constexpr char kEmulatorName[] = "quex.exe";

// Why the ROM name cannot be passed to the emulator at all, or nothing when
// it can: a double quote or a control character below 32 has no safe form,
// and a name starting with "-" would be read as one of the emulator's
// switches, quoted or not.
std::optional<QString> romNameProblem(const QByteArray &rawName);

// The ROM name as it goes on the command line. Names with a blank or a
// character the command interpreter treats specially are enclosed in double
// quotes and every % is doubled; other names stay exactly as they are.
// Empty when romNameProblem has a reason.
std::optional<QByteArray> commandLineRomName(const QByteArray &rawName);

// The four lines of the script: ", echo off, the command line, ".
// `romArgument` is already in command-line form (see commandLineRomName).
QByteArray scriptBytes(const QByteArray &optionsLine, const QByteArray &romArgument);

// Replaces the launch script in the current folder with `script`: the entry
// named kScriptName itself is replaced, never a file a link of that name
// points to, and the old script stays whole if anything fails. On failure
// returns a description naming the file and the reason.
std::optional<QString> writeScript(const QByteArray &script);

} // namespace launch
