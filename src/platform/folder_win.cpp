#include "platform/folder.h"

#include "platform/files.h"

#include <QString>

#include <string>

#include <windows.h>

namespace platform {

namespace {

// The attributes of the file a link leads to; none where it leads nowhere.
DWORD targetAttributes(const wchar_t *name)
{
    const HANDLE file = CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return INVALID_FILE_ATTRIBUTES;
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL known = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return known ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

bool listed(DWORD attributes)
{
    constexpr DWORD kNotListed =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & kNotListed);
}

// Hands `found` to `reader` if it is listed; false when the reader wants no more.
bool offer(FolderReader &reader, const WIN32_FIND_DATAW &found)
{
    const QByteArray bytes = nameBytes(QString::fromWCharArray(found.cFileName));
    const std::string_view name(bytes.constData(), std::size_t(bytes.size()));
    if (name.empty() || !reader.wanted(name) || !listed(found.dwFileAttributes))
        return true;
    // A link counts as what it leads to, as on POSIX; hidden or system is
    // the link's own flag, as Explorer shows it.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !listed(targetAttributes(found.cFileName)))
        return true;
    return reader.take(name);
}

} // namespace

// As Explorer's file list: hidden and system files are left out. The folder
// hands each name over with its attributes, many at a time (large fetch, no
// short names asked for): no file is asked about on its own but a link.
std::optional<ListingFailure> listCurrentFolder(FolderReader &reader)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        FindFirstFileExW(L"*", FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A drive's root holds no "." and may hold nothing at all.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES)
            return std::nullopt;
        return ListingFailure{qt_error_string(int(error)), error == ERROR_ACCESS_DENIED, false};
    }
    DWORD error = ERROR_SUCCESS;
    while (error == ERROR_SUCCESS) {
        if (!offer(reader, found)) {
            FindClose(search);
            return std::nullopt;
        }
        if (!FindNextFileW(search, &found))
            error = GetLastError() == ERROR_SUCCESS ? ERROR_NO_MORE_FILES : GetLastError();
    }
    FindClose(search);
    if (error == ERROR_NO_MORE_FILES)
        return std::nullopt;
    // The system's own message, in the user's language.
    return ListingFailure{qt_error_string(int(error)), error == ERROR_ACCESS_DENIED, true};
}

} // namespace platform
