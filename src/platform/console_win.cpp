// No Qt here: zerivirav-open.exe, which is built without it, answers the same way.
#include "platform/console.h"

#include <windows.h>

#include <string>

namespace platform {

namespace {

std::wstring wide(std::string_view text)
{
    std::wstring result(std::size_t(MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0)),
                        L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), result.data(), int(result.size()));
    return result;
}

bool usable(HANDLE handle)
{
    return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

bool asksForHelp(std::string_view arg)
{
    return arg == "--help" || arg == "/?";
}

bool writeAnswer(std::string_view text, const char *title)
{
    std::string lines;
    for (const char c : text)
        lines += c == '\n' ? std::string_view("\r\n") : std::string_view(&c, 1);

    // Redirected ("> file", a pipe) the output is a handle the program was
    // given. Otherwise a GUI program run from a command prompt writes to the
    // prompt's console; the prompt does not wait for it, so the answer comes
    // after its next prompt, as with every GUI program that answers there.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE console = INVALID_HANDLE_VALUE;
    if (!usable(out) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
        out = console;
    }
    if (usable(out)) {
        bool written;
        DWORD mode = 0;
        DWORD done = 0;
        if (GetConsoleMode(out, &mode)) {
            const std::wstring shown = wide(lines);
            written = WriteConsoleW(out, shown.data(), DWORD(shown.size()), &done, nullptr) && done == shown.size();
        } else {
            written = WriteFile(out, lines.data(), DWORD(lines.size()), &done, nullptr) && done == lines.size();
        }
        if (console != INVALID_HANDLE_VALUE)
            CloseHandle(console);
        return written;
    }
    // Started from Explorer or a shortcut: no console to answer on. A
    // message box wraps lines itself, so the line breaks inside a paragraph,
    // made for an 80-column console, become blanks.
    std::string flowed;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool inParagraph = text[i] == '\n' && i > 0 && text[i - 1] != '\n' && i + 1 < text.size()
            && text[i + 1] != '\n';
        flowed += inParagraph ? ' ' : text[i];
    }
    MessageBoxW(nullptr, wide(flowed).c_str(), wide(title).c_str(), MB_OK | MB_ICONINFORMATION);
    return true;
}

} // namespace platform
