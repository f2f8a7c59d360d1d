#pragma once
// Listing the current folder.

#include <QString>

#include <cstddef>
#include <optional>
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

// Why a listing ended before the folder's end.
struct ListingFailure {
    QString reason; // in the system's words
    bool denied;    // for want of permission
    bool opened;    // the folder could be opened: what was read before is handed over
};

// Hands `reader` the regular files of the current folder, links to regular
// files included, whose names it wants; hidden entries are left out. In the
// order the folder gives them. No file is opened. A folder that cannot be
// opened, or whose reading fails part-way, is a failure; one the reader
// ended (take() false) is not.
std::optional<ListingFailure> listCurrentFolder(FolderReader &reader);

} // namespace platform
