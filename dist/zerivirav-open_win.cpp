// zerivirav-open.exe [FOLDER]: starts zerivirav.exe, which lies beside it, in
// FOLDER, or in the user's own folder without one. Explorer's "Open with
// zerivirav" on a folder and the Start menu entry run it: zerivirav itself
// takes no folder. A GUI program, so no console window flashes up.

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace {

// The folder as Explorer passes it ("%1"). Windows names hold no double
// quote, so the quotes only delimit it; CommandLineToArgvW would read the
// quote after a drive's root ("C:\") as an escaped one.
std::wstring folderArgument(const wchar_t *commandLine)
{
    const wchar_t *at = commandLine;
    if (*at == L'"') {
        for (++at; *at && *at != L'"'; ++at) {}
        if (*at)
            ++at;
    } else {
        for (; *at && *at != L' ' && *at != L'\t'; ++at) {}
    }
    for (; *at == L' ' || *at == L'\t'; ++at) {}
    if (*at == L'"') {
        const wchar_t *end = at + 1;
        for (; *end && *end != L'"'; ++end) {}
        return std::wstring(at + 1, end);
    }
    std::wstring folder(at);
    folder.erase(folder.find_last_not_of(L" \t") + 1);
    return folder;
}

std::wstring profileFolder()
{
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &path)))
        folder = path;
    CoTaskMemFree(path);
    return folder;
}

std::wstring systemMessage(DWORD error)
{
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring message = text ? text : L"error " + std::to_wstring(error);
    LocalFree(text);
    message.erase(message.find_last_not_of(L"\r\n .") + 1);
    return message;
}

int fail(const std::wstring &message)
{
    MessageBoxW(nullptr, message.c_str(), L"zerivirav", MB_OK | MB_ICONERROR);
    return 1;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show)
{
    std::wstring folder = folderArgument(GetCommandLineW());
    if (folder.empty())
        folder = profileFolder();

    std::wstring program(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, program.data(), DWORD(program.size()));
    if (length == 0 || length >= program.size())
        return fail(L"zerivirav-open cannot find its own folder: " + systemMessage(GetLastError()));
    program.resize(length);
    program.replace(program.find_last_of(L"\\/") + 1, std::wstring::npos, L"zerivirav.exe");

    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = WORD(show);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return fail(L"Cannot start " + program + L" in the folder " + folder + L": " + systemMessage(GetLastError()));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
