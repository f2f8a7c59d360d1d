#pragma once
// Listing the current folder.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct FolderNames {
    std::string bytes;               // every name, back to back, as the file system spells it
    std::vector<std::uint32_t> ends; // where each name ends in `bytes`
};

// The regular files of the current folder, links to regular files included,
// whose names `wanted` accepts; hidden entries are left out. In the order the
// folder gives them. No file is opened.
FolderNames listCurrentFolder(bool (*wanted)(std::string_view name));

} // namespace platform
