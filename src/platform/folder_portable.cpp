#include "platform/folder.h"

#include <QFileInfo>
#include <QString>

#include <filesystem>

namespace platform {

// Where the file system keeps a hidden flag rather than a leading dot; names
// are handed on as UTF-8.
void listCurrentFolder(FolderReader &reader)
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::directory_iterator entry(".", error), end; !error && entry != end; entry.increment(error)) {
        const std::u8string utf8 = entry->path().filename().u8string();
        const std::string_view name(reinterpret_cast<const char *>(utf8.data()), utf8.size());
        std::error_code typeError;
        if (name.empty() || !reader.wanted(name) || !entry->is_regular_file(typeError)
            || QFileInfo(QString::fromStdWString(entry->path().wstring())).isHidden())
            continue;
        if (!reader.take(name))
            break;
    }
}

} // namespace platform
