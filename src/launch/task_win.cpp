#include "launch/task.h"

#include <QDir>
#include <QFile>

#include <string>

#include <windows.h>

namespace launch {

std::variant<double, StartFailure> startTask(const QByteArray &scriptBytesName, const QByteArray &script,
                                             const StartupToken &token)
{
    // Windows hands the foreground on by AllowSetForegroundWindow instead.
    Q_UNUSED(token);
    // The interpreter reads the file just written; names here ignore case,
    // so no other entry can stand in for it.
    Q_UNUSED(script);
    const QString scriptName = QFile::decodeName(scriptBytesName);
    // The interpreter is named by its full path, so a "cmd.exe" lying in the
    // ROM folder is never the one that runs.
    wchar_t systemDir[MAX_PATH];
    const UINT length = GetSystemDirectoryW(systemDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return StartFailure{QStringLiteral("Cannot start the launch script %1: the command interpreter was not found")
                                .arg(scriptName)};
    const std::wstring interpreter = std::wstring(systemDir, length) + L"\\cmd.exe";
    std::wstring commandLine = L"cmd.exe /c \"" + scriptName.toStdWString() + L"\"";

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(interpreter.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                        nullptr, nullptr, &startup, &process)) {
        const DWORD error = GetLastError();
        return StartFailure{QStringLiteral("Cannot start the launch script %1: %2")
                                .arg(QDir::toNativeSeparators(QDir::current().absoluteFilePath(scriptName)),
                                     qt_error_string(static_cast<int>(error)))};
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<double>(process.dwProcessId);
}

void prepareProcess()
{
}

} // namespace launch
