#include "platform/folder.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <filesystem>

namespace platform {

// Where the file system keeps a hidden flag rather than a leading dot; names
// are handed on in the bytes the rest of the program opens files by
// (QFile::encodeName: the system's code page on Windows).
std::optional<ListingFailure> listCurrentFolder(FolderReader &reader)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator entry(".", error);
    const bool opened = !error;
    for (const fs::directory_iterator end; !error && entry != end; entry.increment(error)) {
        const QByteArray bytes = QFile::encodeName(QString::fromStdWString(entry->path().filename().wstring()));
        const std::string_view name(bytes.constData(), std::size_t(bytes.size()));
        std::error_code typeError;
        if (name.empty() || !reader.wanted(name) || !entry->is_regular_file(typeError)
            || QFileInfo(QString::fromStdWString(entry->path().wstring())).isHidden())
            continue;
        if (!reader.take(name))
            return std::nullopt;
    }
    if (!error)
        return std::nullopt;
    // The system's own message, in the user's language.
    return ListingFailure{qt_error_string(error.value()), error == std::errc::permission_denied, opened};
}

} // namespace platform
