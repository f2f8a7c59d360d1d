#pragma once
// The launch script "Quex.bat": its exact bytes, the ROM name rules, and
// writing it without ever leaving a half-written file.

#include <QByteArray>
#include <QString>

#include <optional>

namespace launch {

inline constexpr char kScriptWriteName[] = "Quex.bat";
inline constexpr char kScriptRunName[] = "quex.bat";
inline constexpr char kEmulatorName[] = "quex.exe";

// The ROM name as it goes on the command line. Names with a blank or a
// character the command interpreter treats specially are enclosed in double
// quotes and every % is doubled; other names stay exactly as they are.
// Empty when the name cannot be passed safely at all (a double quote or a
// control character below 32).
std::optional<QByteArray> commandLineRomName(const QByteArray &rawName);

// The four lines of the script: ", echo off, the command line, ".
// `romArgument` is already in command-line form (see commandLineRomName).
QByteArray scriptBytes(const QByteArray &optionsLine, const QByteArray &romArgument);

// Replaces `path` with `bytes` atomically where the file system allows it.
// On failure returns a description naming the file and the reason, and the
// previous file is left as it was.
std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &bytes);

} // namespace launch
