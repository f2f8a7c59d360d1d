#include "launch/script.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

namespace launch {

namespace {

bool needsQuotes(char c)
{
    switch (c) {
    case ' ': case '\t': case '&': case '|': case '<': case '>':
    case '^': case '(': case ')': case ',': case ';': case '=':
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<QByteArray> commandLineRomName(const QByteArray &rawName)
{
    bool quote = false;
    for (char c : rawName) {
        if (c == '"' || static_cast<unsigned char>(c) < 32)
            return std::nullopt;
        quote = quote || needsQuotes(c);
    }

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

std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    // A folder we may not create files in, but whose script we may rewrite,
    // still gets its script; only then is the old file not kept on failure.
    file.setDirectWriteFallback(true);

    const auto failure = [&path](const QString &reason) {
        const QFileInfo info(path);
        const QString what = info.fileName().compare(QLatin1String(kScriptWriteName), Qt::CaseInsensitive) == 0
                                 ? QStringLiteral("the launch script")
                                 : QStringLiteral("the file");
        return QStringLiteral("Cannot write %1 %2: %3")
            .arg(what, QDir::toNativeSeparators(info.absoluteFilePath()),
                 reason.isEmpty() ? QStringLiteral("unknown error") : reason);
    };

    // Qt reports a short write, as on a full disk, without a reason of its
    // own; the system's then tells the user more than "Unknown error".
    const auto reason = [&file](int systemError) {
        const QFileDevice::FileError error = file.error();
        if ((error == QFileDevice::NoError || error == QFileDevice::UnspecifiedError) && systemError != 0)
            return qt_error_string(systemError);
        if (error == QFileDevice::NoError)
            return QStringLiteral("only part of it could be written");
        return file.errorString();
    };

    // Unbuffered, a short write shows here: Qt's buffered path can let
    // commit() succeed after a failed flush and replace the script with a
    // cut-off or empty file (full disk, file-size limit).
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure(file.errorString());
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const QString why = reason(errno);
        file.cancelWriting();
        return failure(why);
    }
    errno = 0;
    if (!file.commit())
        return failure(reason(errno));
    return std::nullopt;
}

} // namespace launch
