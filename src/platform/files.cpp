#include "platform/files.h"

#include <QDir>

namespace platform {

std::variant<QByteArray, FileFailure> readWholeFile(const QByteArray &path, qint64 limit)
{
    auto opened = openForReading(path);
    if (auto *failure = std::get_if<FileFailure>(&opened))
        return *failure;
    QFile &file = *std::get<std::unique_ptr<QFile>>(opened);
    const qint64 size = file.size();
    if (size > limit)
        return FileFailure{FileFailure::TooLarge, QStringLiteral("it is too large"), size};
    // Read to the end rather than trusting the length: the file may have grown.
    QByteArray bytes;
    bytes.reserve(size);
    for (;;) {
        const QByteArray chunk = file.read(bytes.size() < size ? size - bytes.size() : 64 * 1024);
        if (file.error() != QFileDevice::NoError)
            return FileFailure{FileFailure::Other, file.errorString()};
        if (chunk.isEmpty())
            return bytes;
        bytes += chunk;
        if (bytes.size() > limit)
            return FileFailure{FileFailure::TooLarge, QStringLiteral("it is too large"), bytes.size()};
    }
}

QString shownPath(const QByteArray &relative)
{
    const QDir folder(currentFolder().path);
    return QDir::toNativeSeparators(QDir::cleanPath(folder.absoluteFilePath(nameText(relative))));
}

} // namespace platform
