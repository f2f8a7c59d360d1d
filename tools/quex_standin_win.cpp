// Stands in for the emulator "quex.exe" as a Windows program: records each
// run's arguments, as the Windows C runtime parsed them and in UTF-8, in
// "quex.log" in the native stand-in's record format (standin_record.h).
// With QUEX_STANDIN_WINDOW=1 it shows a small window titled "quex stand-in"
// that names the arguments, for QUEX_STANDIN_SECONDS or until closed, and
// only after QUEX_STANDIN_DELAY_MS, as a slow emulator would. As the
// native stand-in, it writes QUEX_STANDIN_SAY and a line feed to standard
// error and ends with exit status QUEX_STANDIN_EXIT.
// Where its last argument names a file, as a ROM name does, it opens it and
// records in "quex.opened", in the same format, its process id, the file's
// own (long) name and its first bytes, at most 32: which file the name
// reached, whichever of its names it was given by.
// Built without Qt by x86_64-w64-mingw32-g++ (-municode); built again with
// QUEX_STANDIN_DLL_MISSING against a DLL that is never installed, it cannot
// start at all, as an emulator whose DLL is missing.

#include "standin_record.h"

#include <windows.h>

#include <cwchar>
#include <string>

#ifdef QUEX_STANDIN_DLL_MISSING
extern "C" __declspec(dllimport) int quexgone_start();
#endif

namespace {

std::string utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

std::string logLine(int argc, wchar_t **argv)
{
    std::string line = std::to_string(GetCurrentProcessId());
    for (int i = 1; i < argc; ++i)
        appendRecordField(line, utf8(argv[i]));
    return line + '\n';
}

// One WriteFile on a handle opened for appending only, so lines of runs
// started together never interleave.
bool appendToLog(const std::string &line, const wchar_t *logName = L"quex.log")
{
    HANDLE log = CreateFileW(logName, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(log, line.data(), DWORD(line.size()), &written, nullptr);
    CloseHandle(log);
    return ok && written == line.size();
}

// The record of the file `argument` names, or nothing where it names none.
std::string openedLine(const wchar_t *argument)
{
    wchar_t longName[4 * MAX_PATH];
    const DWORD length = GetLongPathNameW(argument, longName, 4 * MAX_PATH);
    const HANDLE file = CreateFileW(argument, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (length == 0 || length >= 4 * MAX_PATH || file == INVALID_HANDLE_VALUE) {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        return {};
    }
    char start[32];
    DWORD read = 0;
    ReadFile(file, start, sizeof start, &read, nullptr);
    CloseHandle(file);
    const std::wstring name(longName, length);
    std::string line = std::to_string(GetCurrentProcessId());
    appendRecordField(line, utf8(name.substr(name.find_last_of(L"\\/") + 1).c_str()));
    appendRecordField(line, std::string(start, read));
    return line + '\n';
}

int secondsToStay()
{
    const wchar_t *text = _wgetenv(L"QUEX_STANDIN_SECONDS");
    const long seconds = text ? std::wcstol(text, nullptr, 10) : 0;
    return seconds > 0 && seconds < 86400 ? int(seconds) : 0;
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER || message == WM_CLOSE) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int showWindow(int argc, wchar_t **argv, int seconds)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"QuexStandin";
    RegisterClassW(&windowClass);

    std::wstring text;
    for (int i = 1; i < argc; ++i)
        text += std::wstring(argv[i]) + L"\r\n";
    HWND window = CreateWindowW(L"QuexStandin", L"quex stand-in", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                320, 120, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 4;
    CreateWindowW(L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, 8, 8, 300, 80, window, nullptr, instance, nullptr);
    // As a slow emulator would, the window may show only after a while.
    if (const wchar_t *delay = _wgetenv(L"QUEX_STANDIN_DELAY_MS"))
        Sleep(DWORD(std::wcstoul(delay, nullptr, 10) % 600000));
    ShowWindow(window, SW_SHOWNORMAL);
    if (seconds > 0)
        SetTimer(window, 1, UINT(seconds) * 1000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

int endStatus(int status)
{
    const wchar_t *text = _wgetenv(L"QUEX_STANDIN_EXIT");
    return text ? int(std::wcstol(text, nullptr, 10)) : status;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
#ifdef QUEX_STANDIN_DLL_MISSING
    if (argc < 0) // never: the import alone keeps it from starting
        return quexgone_start();
#endif
    if (!appendToLog(logLine(argc, argv)))
        return 3;
    if (const std::string opened = argc > 1 ? openedLine(argv[argc - 1]) : std::string(); !opened.empty())
        appendToLog(opened, L"quex.opened");
    if (const wchar_t *say = _wgetenv(L"QUEX_STANDIN_SAY")) {
        const std::string line = utf8(say) + '\n';
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), DWORD(line.size()), &written, nullptr);
    }
    const int seconds = secondsToStay();
    if (const wchar_t *window = _wgetenv(L"QUEX_STANDIN_WINDOW"); window && std::wcscmp(window, L"1") == 0)
        return endStatus(showWindow(argc, argv, seconds));
    if (seconds > 0)
        Sleep(DWORD(seconds) * 1000);
    return endStatus(0);
}
