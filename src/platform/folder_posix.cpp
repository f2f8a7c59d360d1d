#include "platform/folder.h"

#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

FolderNames listCurrentFolder(bool (*wanted)(std::string_view name))
{
    // readdir hands over each name with its type: no path is built, and only
    // links (or file systems that do not tell the type) cost a stat.
    FolderNames names;
    DIR *dir = ::opendir(".");
    if (!dir)
        return names;
    const int dirFd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.front() == '.' || !wanted(name))
            continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            regular = ::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
        }
        if (!regular)
            continue;
        if (names.bytes.size() + name.size() > UINT32_MAX)
            break;
        names.bytes.append(name);
        names.ends.push_back(static_cast<std::uint32_t>(names.bytes.size()));
    }
    ::closedir(dir);
    return names;
}

} // namespace platform
