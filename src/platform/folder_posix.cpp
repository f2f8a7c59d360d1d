#include "platform/folder.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace platform {

namespace {

// Large enough that a folder of 100,000 files is read in a few calls.
constexpr std::size_t kBufferBytes = 256 * 1024;

ListingFailure failureOf(int error, bool opened)
{
    return {qt_error_string(error), error == EACCES || error == EPERM, opened};
}

} // namespace

std::optional<ListingFailure> listCurrentFolder(FolderReader &reader)
{
    // getdents64 hands over each name with its type, many at a time: no path
    // is built, and only links (or file systems that do not tell the type)
    // cost a stat.
    const int dirFd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return failureOf(errno, false);
    struct stat folder {};
    if (::fstat(dirFd, &folder) == 0 && folder.st_size > 0)
        reader.expect(std::size_t(folder.st_size));
    const std::unique_ptr<char[]> buffer(new char[kBufferBytes]);
    std::optional<ListingFailure> failure;
    for (bool more = true; more;) {
        const ssize_t got = ::getdents64(dirFd, buffer.get(), kBufferBytes);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) // a network folder's EIO, say
            failure = failureOf(errno, true);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got && more;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(buffer.get() + at);
            at += entry->d_reclen;
            const std::string_view name(entry->d_name);
            if (name.front() == '.' || !reader.wanted(name))
                continue;
            bool regular = entry->d_type == DT_REG;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat st {};
                regular = ::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
            }
            if (regular)
                more = reader.take(name);
        }
    }
    ::close(dirFd);
    return failure;
}

} // namespace platform
