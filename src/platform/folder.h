#pragma once
// Listing the current folder.

#include <cstddef>
#include <string_view>

namespace platform {

// Receives the names of a folder as they are read.
class FolderReader {
public:
    virtual ~FolderReader() = default;
    // Whether `name` is wanted at all; asked before the file's type is known.
    virtual bool wanted(std::string_view name) const = 0;
    // A wanted regular file; false ends the listing.
    virtual bool take(std::string_view name) = 0;
    // The folder takes `bytes` on disk, about as much as its names or more;
    // told before the first name, where known.
    virtual void expect(std::size_t bytes) { (void)bytes; }
};

// Hands `reader` the regular files of the current folder, links to regular
// files included, whose names it wants; hidden entries are left out. In the
// order the folder gives them. No file is opened.
void listCurrentFolder(FolderReader &reader);

} // namespace platform
