// zerivirav-open.exe [FOLDER]: starts zerivirav.exe, which lies beside it, in
// FOLDER. Explorer's "Open with zerivirav" on a folder runs it with the
// folder; the Start menu entry runs it without one, and then it asks for the
// ROM folder in the shell's own folder dialog: zerivirav itself takes no
// folder, and the profile folder it would otherwise start in holds no ROMs.
// A GUI program, so no console window flashes up; --help, --version and /?
// are answered on the console it was run from, if any.

#include "platform/console.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <optional>
#include <string>

namespace {

constexpr char kUsage[] = "Usage: zerivirav-open [FOLDER | --help | --version | /?]\n"
                          "\n"
                          "Starts zerivirav.exe in FOLDER. Without one it asks for the ROM folder in a\n"
                          "folder dialog, and starts nothing when the dialog is cancelled. The Start\n"
                          "menu entry and Explorer's \"Open with zerivirav\" on a folder use it.\n";

// The argument as Explorer passes it ("%1"), or nothing when there is none.
// Windows names hold no double quote, so the quotes only delimit it;
// CommandLineToArgvW would read the quote after a drive's root ("C:\") as an
// escaped one.
std::optional<std::wstring> argument(const wchar_t *commandLine)
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
    return folder.empty() ? std::nullopt : std::optional(folder);
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

// Releases a COM interface when it goes out of scope.
template <typename Interface>
struct Com {
    Interface *p = nullptr;
    ~Com()
    {
        if (p)
            p->Release();
    }
    Interface *operator->() const { return p; }
};

// The folder the user picks, starting at their profile folder; nothing when
// they cancel. The dialog is told to open there every time, rather than
// where it was last left, and to add nothing to the recent items: the
// program remembers nothing between runs.
std::optional<std::wstring> askForFolder(HRESULT &failure)
{
    failure = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (FAILED(failure))
        return std::nullopt;
    std::optional<std::wstring> chosen;
    {
        Com<IFileOpenDialog> dialog;
        failure = CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog.p));
        FILEOPENDIALOGOPTIONS options = 0;
        if (SUCCEEDED(failure))
            failure = dialog->GetOptions(&options);
        if (SUCCEEDED(failure))
            failure = dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST
                                         | FOS_DONTADDTORECENT);
        if (SUCCEEDED(failure))
            failure = dialog->SetTitle(L"Select rom folder");
        Com<IShellItem> home;
        if (SUCCEEDED(failure)
            && SUCCEEDED(SHCreateItemFromParsingName(profileFolder().c_str(), nullptr, IID_PPV_ARGS(&home.p))))
            dialog->SetFolder(home.p);
        if (SUCCEEDED(failure))
            failure = dialog->Show(nullptr);
        Com<IShellItem> item;
        if (SUCCEEDED(failure))
            failure = dialog->GetResult(&item.p);
        PWSTR path = nullptr;
        if (SUCCEEDED(failure))
            failure = item->GetDisplayName(SIGDN_FILESYSPATH, &path);
        if (SUCCEEDED(failure))
            chosen = path;
        CoTaskMemFree(path);
    }
    CoUninitialize();
    if (failure == HRESULT_FROM_WIN32(ERROR_CANCELLED))
        failure = S_OK;
    return chosen;
}

int startIn(const std::wstring &folder, int show)
{
    // As on Linux: an empty name names no folder, and the user is told so.
    if (folder.empty())
        return fail(L"It was given an empty folder name. Give the folder to open, or none to choose one.");
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
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return fail(L"Cannot start " + program + L" in the folder " + folder + L": " + systemMessage(GetLastError()));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show)
{
    const std::optional<std::wstring> given = argument(GetCommandLineW());
    if (given) {
        // A folder of such a name is given as .\--help.
        if (*given == L"--version")
            return platform::writeAnswer("zerivirav-open " ZV_VERSION "\n", "zerivirav-open") ? 0 : 1;
        if (*given == L"--help" || *given == L"/?")
            return platform::writeAnswer(kUsage, "zerivirav-open") ? 0 : 1;
        return startIn(*given, show);
    }
    HRESULT failure = S_OK;
    const std::optional<std::wstring> chosen = askForFolder(failure);
    if (FAILED(failure))
        return fail(L"zerivirav-open cannot show the folder dialog: " + systemMessage(DWORD(failure)));
    return chosen ? startIn(*chosen, show) : 0;
}
