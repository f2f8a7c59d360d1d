#include "launch/script.h"

#include "platform/files.h"

#include <algorithm>

namespace launch {

namespace {

bool needsQuotes(char c)
{
    switch (c) {
    case ' ': case '&': case '|': case '<': case '>':
    case '^': case '(': case ')': case ',': case ';': case '=':
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<QString> romNameProblem(const QByteArray &rawName)
{
    for (char c : rawName)
        if (c == '"' || static_cast<unsigned char>(c) < 32)
            return QStringLiteral("it contains a double quote or a control character");
    if (rawName.startsWith('-'))
        return QStringLiteral("it starts with \"-\", so %1 would take it for one of its switches")
            .arg(QLatin1String(kEmulatorName));
    return std::nullopt;
}

std::optional<QByteArray> commandLineRomName(const QByteArray &rawName)
{
    if (romNameProblem(rawName))
        return std::nullopt;
    const bool quote = std::any_of(rawName.begin(), rawName.end(), needsQuotes);

    QByteArray name;
    name.reserve(rawName.size() * 2 + 2);
    if (quote)
        name += '"';
    for (char c : rawName) {
        name += c;
        // The command interpreter turns "%%" back into "%" inside and outside quotes.
        if (c == '%')
            name += '%';
    }
    if (quote) {
        // Backslashes right before the closing quote would escape it for the
        // C runtime; doubled, they come through as written.
        qsizetype trailing = 0;
        while (trailing < rawName.size() && rawName.at(rawName.size() - 1 - trailing) == '\\')
            ++trailing;
        name += QByteArray(trailing, '\\');
        name += '"';
    }
    return name;
}

QByteArray scriptBytes(const QByteArray &optionsLine, const QByteArray &romArgument)
{
    QByteArray bytes;
    bytes += "\"\r\necho off\r\n";
    bytes += kEmulatorName;
    bytes += optionsLine;
    bytes += ' ';
    bytes += romArgument;
    bytes += "\r\n\"\r\n";
    return bytes;
}

std::optional<QString> writeScript(const QByteArray &script)
{
    std::optional<QString> reason = platform::replaceFile(kScriptName, script);
    if (!reason)
        return std::nullopt;
    // The system's words ("No such file or directory") would not say which.
    if (platform::currentFolder().gone)
        reason = QStringLiteral("its folder no longer exists");
    return QStringLiteral("Cannot write the launch script %1: %2")
        .arg(platform::shownPath(kScriptName), reason->isEmpty() ? QStringLiteral("unknown error") : *reason);
}

} // namespace launch
