#include "launch/task.h"

#include "launch/script.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QWinEventNotifier>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

namespace launch {

namespace {

// The file name the process was started from, without its folder; empty
// when it cannot be had.
std::wstring imageName(HANDLE process)
{
    wchar_t path[MAX_PATH * 4];
    DWORD size = MAX_PATH * 4;
    if (!QueryFullProcessImageNameW(process, 0, path, &size))
        return {};
    const std::wstring_view image(path, size);
    return std::wstring(image.substr(image.find_last_of(L"\\/") + 1));
}

// The processes the launch script starts: the interpreter runs in a job of
// its own, whose completion port names each new process of the job. A
// thread of its own takes the names as they come and opens each process at
// once, before it can have ended and its id been reused. Which one is the
// emulator is asked only once the interpreter has ended: a process that has
// only just been made may not tell its file name yet.
class Newcomers {
public:
    // Takes `job`, which must be empty yet; false when the job cannot tell.
    bool watch(HANDLE job)
    {
        m_port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
        if (!m_port)
            return false;
        JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
        association.CompletionKey = job;
        association.CompletionPort = m_port;
        if (!SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &association,
                                     sizeof association))
            return false;
        m_job = job;
        m_thread = CreateThread(
            nullptr, 0, [](void *self) -> DWORD { return static_cast<Newcomers *>(self)->take(), 0; }, this, 0, nullptr);
        return m_thread != nullptr;
    }

    // Every process started before this call has been taken.
    void stop()
    {
        if (m_thread) {
            PostQueuedCompletionStatus(m_port, 0, 0, nullptr); // after every name already queued
            WaitForSingleObject(m_thread, INFINITE);
            CloseHandle(m_thread);
            m_thread = nullptr;
        }
    }

    ~Newcomers()
    {
        stop();
        for (const HANDLE process : m_processes)
            CloseHandle(process);
        if (m_port)
            CloseHandle(m_port);
    }

    // After stop(): the emulator's process, or none, or whether that cannot
    // be told (a process that could not be opened or named).
    struct Emulator {
        HANDLE process = nullptr;
        bool known = true;
    };
    Emulator emulator() const
    {
        Emulator found{nullptr, !m_missed};
        for (const HANDLE process : m_processes) {
            const std::wstring name = imageName(process);
            if (name.empty())
                found.known = false;
            else if (CompareStringOrdinal(name.c_str(), -1, L"quex.exe", -1, TRUE) == CSTR_EQUAL)
                return {process, true};
        }
        return found;
    }

private:
    // A script that starts more than this is not watched to the end.
    static constexpr std::size_t kMostProcesses = 64;

    void take()
    {
        for (;;) {
            DWORD message = 0;
            ULONG_PTR key = 0;
            LPOVERLAPPED detail = nullptr;
            if (!GetQueuedCompletionStatus(m_port, &message, &key, &detail, INFINITE) || key != ULONG_PTR(m_job))
                return;
            if (message != JOB_OBJECT_MSG_NEW_PROCESS)
                continue;
            const DWORD id = DWORD(reinterpret_cast<ULONG_PTR>(detail));
            const HANDLE process = m_processes.size() < kMostProcesses
                                       ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id)
                                       : nullptr;
            if (process)
                m_processes.push_back(process);
            else
                m_missed = true;
        }
    }

    HANDLE m_job = nullptr;
    HANDLE m_port = nullptr;
    HANDLE m_thread = nullptr;
    std::vector<HANDLE> m_processes; // written by the thread until stop()
    bool m_missed = false;           // written by the thread until stop()
};

QString howItEnded(DWORD code)
{
    // NTSTATUS codes (0xC0000135: a DLL not found) read best in hexadecimal.
    return code > 0xFFFF ? QStringLiteral("with exit code 0x%1").arg(QString::number(code, 16).toUpper())
                         : QStringLiteral("with exit code %1").arg(code);
}

} // namespace

// The interpreter's process, watched for kWatchSeconds. Its console window
// closes too fast for anyone to read the emulator's words there, so the
// emulator's own exit code, other than 0, within the span is told. The
// interpreter's exit code says nothing: it is that of the script's last
// line, a lone quote, which is no command.
struct TaskWatch::PlatformSource final : TaskWatch::Source {
    PlatformSource(TaskWatch *watch, HANDLE process, std::unique_ptr<Newcomers> newcomers)
        : process(process), newcomers(std::move(newcomers)), notifier(process)
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
                const QPointer<TaskWatch> alive(watch);
                if (const QString how = emulatorEnd(); !how.isEmpty())
                    emit watch->endedEarly(TaskEnd{how, {}});
                if (alive && watch->m_source)
                    watch->finish();
            },
            Qt::QueuedConnection);
    }

    // The interpreter has ended, and with it the script: how the emulator
    // ended, if that is worth a report.
    QString emulatorEnd()
    {
        newcomers->stop();
        const Newcomers::Emulator emulator = newcomers->emulator();
        DWORD code = 0;
        if (emulator.process)
            return GetExitCodeProcess(emulator.process, &code) && code != 0 && code != STILL_ACTIVE ? howItEnded(code)
                                                                                                    : QString();
        return emulator.known ? QStringLiteral("before it ran: the command interpreter found no %1 in the folder or "
                                               "on the PATH")
                                    .arg(QLatin1String(kEmulatorName))
                              : QString();
    }

    HANDLE process;
    std::unique_ptr<Newcomers> newcomers;
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
    // Started held, so that it is in its job before it can start anything.
    if (!CreateProcessW(interpreter.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | (watch ? CREATE_SUSPENDED : 0), nullptr, nullptr, &startup, &process)) {
        const DWORD error = GetLastError();
        return StartFailure{QStringLiteral("Cannot start the launch script %1: %2")
                                .arg(QDir::toNativeSeparators(QDir::current().absoluteFilePath(scriptName)),
                                     qt_error_string(static_cast<int>(error)))};
    }
    if (watch) {
        // The job only names its processes: it sets no limit, and closing
        // it ends none of them. Where it cannot be had (a front end in a
        // job that allows none within), the interpreter runs unwatched.
        auto newcomers = std::make_unique<Newcomers>();
        if (const HANDLE job = CreateJobObjectW(nullptr, nullptr)) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
            SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
            if (newcomers->watch(job) && AssignProcessToJobObject(job, process.hProcess))
                watch->m_source = std::make_unique<TaskWatch::PlatformSource>(watch, process.hProcess,
                                                                              std::move(newcomers));
            newcomers.reset(); // done with the job's names unless watching
            CloseHandle(job);
        }
        ResumeThread(process.hThread);
    }
    CloseHandle(process.hThread);
    if (watch && !watch->m_source)
        QMetaObject::invokeMethod(watch, [watch] { watch->finish(); }, Qt::QueuedConnection);
    if (!watch || !watch->m_source)
        CloseHandle(process.hProcess);
    return static_cast<double>(process.dwProcessId);
}

void ignoreFileSizeSignal()
{
}

} // namespace launch
