#include "platform/files.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <string>

#include <windows.h>

// Windows has no pipes or devices among ordinary file names, and QSaveFile
// replaces the entry itself there; Qt's own files serve.

namespace platform {

namespace {

std::wstring wide(const QString &text)
{
    return text.toStdWString();
}

// `text` in the code page `codePage`, where each of its characters has a form
// there: no best fit ("e" for "é") and no default character ("?").
std::optional<QByteArray> inCodePage(const std::wstring &text, UINT codePage)
{
    if (text.empty())
        return QByteArray();
    const int length = int(text.size());
    // UTF-8 and a few others take no flag; the round trip below catches all.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    }
    if (size <= 0)
        return std::nullopt;
    QByteArray bytes(size, '\0');
    WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring fromCodePage(const QByteArray &bytes, UINT codePage)
{
    const int size = MultiByteToWideChar(codePage, 0, bytes.constData(), int(bytes.size()), nullptr, 0);
    std::wstring text(size > 0 ? size : 0, L'\0');
    if (size > 0)
        MultiByteToWideChar(codePage, 0, bytes.constData(), int(bytes.size()), text.data(), size);
    return text;
}

// Wine's interpreter (wine 8) reads every batch file in the OEM code page,
// whatever its console's code page; Windows' own reads it in its console's,
// which the launch sets to the ANSI code page the script is written in.
bool underWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The bytes of `name` in the script's code page, if the interpreter reads
// them back as that very name.
std::optional<QByteArray> scriptBytesOf(const std::wstring &name)
{
    const auto bytes = inCodePage(name, CP_ACP);
    if (!bytes || fromCodePage(*bytes, underWine() ? CP_OEMCP : CP_ACP) != name)
        return std::nullopt;
    return bytes;
}

} // namespace

QString nameText(const QByteArray &name)
{
    return QString::fromUtf8(name);
}

QByteArray nameBytes(const QString &text)
{
    return text.toUtf8();
}

std::variant<QByteArray, QString> scriptFileName(const QByteArray &name)
{
    const std::wstring longName = wide(nameText(name));
    if (const auto bytes = scriptBytesOf(longName))
        return *bytes;
    // A name the code page cannot hold ("Ωmega.bin" on a Western system)
    // goes by the short name the volume keeps for it, which it can. Where
    // the volume keeps none, GetShortPathNameW gives the long name back.
    const std::wstring full = wide(QDir::toNativeSeparators(QDir::current().absoluteFilePath(nameText(name))));
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD size = GetShortPathNameW(full.c_str(), path.data(), DWORD(path.size()));
        if (size == 0)
            return QStringLiteral("its short name cannot be had: %1").arg(qt_error_string(int(GetLastError())));
        if (size < path.size()) {
            path.resize(size);
            break;
        }
        path.resize(size);
    }
    const std::wstring shortName = path.substr(path.find_last_of(L"\\/") + 1);
    if (shortName != longName)
        if (const auto bytes = scriptBytesOf(shortName))
            return *bytes;
    return QStringLiteral("the system's code page, %1, has no form of some of its characters, and its volume "
                          "keeps no short name for it")
        .arg(underWine() ? GetOEMCP() : GetACP());
}

std::variant<std::unique_ptr<QFile>, FileFailure> openForReading(const QByteArray &path)
{
    const QString name = nameText(path);
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
    if (path.isEmpty() || !QFileInfo::exists(nameText(path)))
        return std::nullopt;
    return path;
}

std::optional<QByteArray> findRegularFile(const QByteArray &name)
{
    if (name.isEmpty() || !QFileInfo(nameText(name)).isFile())
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
    const QString path = nameText(name);
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
