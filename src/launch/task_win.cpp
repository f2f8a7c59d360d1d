#include "launch/task.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QWinEventNotifier>

#include <string>

#include <windows.h>

namespace launch {

// The interpreter's process, watched for kWatchSeconds. Its console window
// closes too fast for anyone to read the emulator's words there, so an exit
// code other than 0 within the span is told; the interpreter's exit code is
// that of the script's last command, the emulator.
struct TaskWatch::PlatformSource final : TaskWatch::Source {
    PlatformSource(TaskWatch *watch, HANDLE process) : process(process), notifier(process)
    {
        QObject::connect(&notifier, &QWinEventNotifier::activated, watch, [this, watch] { ended(watch); });
        span.setSingleShot(true);
        QObject::connect(&span, &QTimer::timeout, watch, [this, watch] {
            notifier.setEnabled(false);
            QMetaObject::invokeMethod(
                watch, [this, watch] { if (watch->m_source.get() == this) watch->finish(); }, Qt::QueuedConnection);
        });
        span.start(kWatchSeconds * 1000);
    }
    ~PlatformSource() override { CloseHandle(process); }

    // Each end is handed on from a call of its own, after the notifier's or
    // the timer's: a receiver may end the watch.
    void ended(TaskWatch *watch)
    {
        notifier.setEnabled(false);
        span.stop();
        QMetaObject::invokeMethod(
            watch,
            [this, watch] {
                if (watch->m_source.get() != this)
                    return;
                DWORD code = 0;
                const QPointer<TaskWatch> alive(watch);
                if (GetExitCodeProcess(process, &code) && code != 0) {
                    // NTSTATUS codes (0xC0000135: a DLL not found) read best in hexadecimal.
                    const QString how = code > 0xFFFF
                                            ? QStringLiteral("with exit code 0x%1").arg(QString::number(code, 16).toUpper())
                                            : QStringLiteral("with exit code %1").arg(code);
                    emit watch->endedEarly(TaskEnd{how, {}});
                }
                if (alive && watch->m_source)
                    watch->finish();
            },
            Qt::QueuedConnection);
    }

    HANDLE process;
    QWinEventNotifier notifier;
    QTimer span;
};

std::variant<double, StartFailure> startTask(const QByteArray &scriptBytesName, const QByteArray &script,
                                             const StartupToken &token, TaskWatch *watch)
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
    if (watch)
        watch->m_source = std::make_unique<TaskWatch::PlatformSource>(watch, process.hProcess);
    else
        CloseHandle(process.hProcess);
    return static_cast<double>(process.dwProcessId);
}

void ignoreFileSizeSignal()
{
}

} // namespace launch
