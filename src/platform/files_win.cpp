#include "platform/files.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <windows.h>

// Windows has no pipes or devices among ordinary file names, and QSaveFile
// replaces the entry itself there; Qt's own files serve.

namespace platform {

std::variant<std::unique_ptr<QFile>, FileFailure> openForReading(const QByteArray &path)
{
    const QString name = QFile::decodeName(path);
    const QFileInfo info(name);
    if (!info.exists())
        return FileFailure{FileFailure::NotFound, QStringLiteral("the file does not exist")};
    if (!info.isFile())
        return FileFailure{FileFailure::NotRegular, QStringLiteral("it is not a regular file")};
    auto file = std::make_unique<QFile>(name);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return FileFailure{file->error() == QFileDevice::PermissionsError ? FileFailure::Denied : FileFailure::Other,
                           file->errorString()};
    return file;
}

std::optional<QByteArray> findFile(const QByteArray &path)
{
    // Names here ignore letter case already.
    if (path.isEmpty() || !QFileInfo::exists(QFile::decodeName(path)))
        return std::nullopt;
    return path;
}

std::optional<QByteArray> findRegularFile(const QByteArray &name)
{
    if (name.isEmpty() || !QFileInfo(QFile::decodeName(name)).isFile())
        return std::nullopt;
    return name;
}

// A process's current folder cannot be deleted here.
CurrentFolder currentFolder()
{
    return {QDir::currentPath(), false};
}

std::optional<QString> replaceFile(const QByteArray &name, const QByteArray &bytes)
{
    const QString path = QFile::decodeName(name);
    // A read-only or hidden file under the name is replaced all the same, as
    // elsewhere, where the folder's permissions decide; it gets its
    // attributes back if it stays.
    const auto native = reinterpret_cast<const wchar_t *>(path.utf16());
    const DWORD attributes = GetFileAttributesW(native);
    constexpr DWORD kInTheWay = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const bool cleared = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)
                         && (attributes & kInTheWay)
                         && SetFileAttributesW(native, (attributes & ~kInTheWay) ? attributes & ~kInTheWay
                                                                                   : FILE_ATTRIBUTE_NORMAL);
    const auto failed = [&](const QString &reason) {
        if (cleared)
            SetFileAttributesW(native, attributes);
        return std::optional<QString>(reason);
    };
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return failed(reason);
    }
    if (!file.commit())
        return failed(file.errorString());
    return std::nullopt;
}

} // namespace platform
