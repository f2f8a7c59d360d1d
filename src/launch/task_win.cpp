#include "launch/task.h"

#include "launch/script.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QWinEventNotifier>

#include <algorithm>
#include <cwchar>
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

namespace {

// The interpreter runs a copy of the script of its own. Windows' cmd.exe
// opens a batch file anew for each line and goes on at the byte where it
// left off: had it run Quex.bat itself, a second Run that rewrote it while
// the first emulator ran would have the first interpreter, once that
// emulator ended, go on in the middle of the new command line and run its
// tail as a command. (Wine's cmd.exe keeps the file open instead, and a second
// Run could not replace it.) Each copy lies in the user's temporary folder
// under a name of its own, beside a job object of the same name that lives as
// long as its interpreter holds a handle to it: a copy whose job is gone
// belongs to an interpreter that has ended, in this session or an earlier one.
constexpr wchar_t kCopyPrefix[] = L"zerivirav-run-";
constexpr wchar_t kCopySuffix[] = L".bat";

std::wstring jobName(std::wstring_view token)
{
    return L"Local\\" + std::wstring(kCopyPrefix) + std::wstring(token);
}

std::wstring temporaryFolder()
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    return length > 0 && length <= MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

// The copies of earlier Runs whose interpreters have ended, this session's
// (whose removal failed) and those of sessions that ended before them.
void removeLeftOvers(const std::wstring &folder)
{
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = folder + kCopyPrefix + L"*" + kCopySuffix;
    const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    const std::size_t prefix = std::wcslen(kCopyPrefix), suffix = std::wcslen(kCopySuffix);
    do {
        const std::wstring_view name(found.cFileName);
        if (name.size() <= prefix + suffix || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        const HANDLE job = OpenJobObjectW(JOB_OBJECT_QUERY, FALSE,
                                          jobName(name.substr(prefix, name.size() - prefix - suffix)).c_str());
        if (job)
            CloseHandle(job);
        else if (GetLastError() == ERROR_FILE_NOT_FOUND)
            DeleteFileW((folder + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// This Run's copy and its job.
struct Copy {
    std::wstring path;
    HANDLE job = nullptr;
};

std::variant<Copy, QString> writeCopy(const QByteArray &script)
{
    const std::wstring folder = temporaryFolder();
    if (folder.empty())
        return QStringLiteral("the temporary folder is not known");
    removeLeftOvers(folder);
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        const std::wstring token = QStringLiteral("%1-%2-%3")
                                       .arg(GetCurrentProcessId(), 0, 16)
                                       .arg(quint64(now.QuadPart), 0, 16)
                                       .arg(attempt)
                                       .toStdWString();
        Copy copy{folder + kCopyPrefix + token + kCopySuffix, CreateJobObjectW(nullptr, jobName(token).c_str())};
        if (!copy.job)
            return qt_error_string(int(GetLastError()));
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(copy.job);
            continue;
        }
        const HANDLE file = CreateFileW(copy.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                        nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
            CloseHandle(copy.job);
            continue;
        }
        DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            if (!WriteFile(file, script.constData(), DWORD(script.size()), &written, nullptr))
                error = GetLastError();
            else if (written != DWORD(script.size()))
                error = ERROR_DISK_FULL;
            if (!CloseHandle(file) && error == ERROR_SUCCESS)
                error = GetLastError();
            if (error != ERROR_SUCCESS)
                DeleteFileW(copy.path.c_str()); // never half a script
        }
        if (error == ERROR_SUCCESS)
            return copy;
        CloseHandle(copy.job);
        return QStringLiteral("%1: %2").arg(QString::fromStdWString(copy.path), qt_error_string(int(error)));
    }
    return QStringLiteral("no free name for it in %1").arg(QString::fromStdWString(folder));
}

// Removes the copy once its interpreter has ended, whether or not anyone
// still watches it: on a thread of the system's pool, so that nothing of the
// front end waits for it.
struct Removal {
    HANDLE process;
    HANDLE job;
    std::wstring copy;
    HANDLE wait = nullptr;

    static void CALLBACK ended(void *self, BOOLEAN)
    {
        auto *removal = static_cast<Removal *>(self);
        DeleteFileW(removal->copy.c_str());
        CloseHandle(removal->process);
        CloseHandle(removal->job);
        UnregisterWait(removal->wait); // not waiting: this runs on the wait's own thread
        delete removal;
    }
};

// The processes of the job now, the interpreter's and those it started.
std::vector<quint32> processesOf(HANDLE job)
{
    std::vector<ULONG_PTR> buffer(64);
    for (int attempt = 0; attempt < 4; ++attempt) {
        auto *list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST *>(buffer.data());
        const DWORD room = DWORD(buffer.size() - 2);
        const DWORD bytes = DWORD(buffer.size() * sizeof(ULONG_PTR));
        if (QueryInformationJobObject(job, JobObjectBasicProcessIdList, list, bytes, nullptr))
            return std::vector<quint32>(list->ProcessIdList, list->ProcessIdList + std::min(room, list->NumberOfProcessIdsInList));
        if (GetLastError() != ERROR_MORE_DATA)
            break;
        buffer.resize(std::size_t(list->NumberOfAssignedProcesses) + 16);
    }
    return {};
}

// The command line that has the interpreter read the copy in the code page
// the script is written in. A new console starts in the OEM code page
// ("437", "850"); chcp, documented as setting the console's code page, sets
// it to the ANSI one first, and cmd.exe reads every later line of a batch
// file in it. Named by its full path: a chcp.com in the ROM folder never runs.
std::wstring commandLine(const std::wstring &systemDir, const std::wstring &copy)
{
    std::wstring line = L"cmd.exe /s /c \"";
    if (GetACP() != GetOEMCP())
        line += L"\"" + systemDir + L"\\chcp.com\" " + std::to_wstring(GetACP()) + L" >nul & ";
    return line + L"\"" + copy + L"\"\"";
}

} // namespace

std::variant<double, StartFailure> startTask(const QByteArray &scriptBytesName, const QByteArray &script,
                                             const StartupToken &token, TaskWatch *watch)
{
    // Windows hands the foreground on by AllowSetForegroundWindow instead.
    Q_UNUSED(token);
    const QString scriptName = QDir::toNativeSeparators(QDir::current().absoluteFilePath(QString::fromLatin1(scriptBytesName)));
    // The interpreter is named by its full path, so a "cmd.exe" lying in the
    // ROM folder is never the one that runs.
    wchar_t systemDir[MAX_PATH];
    const UINT length = GetSystemDirectoryW(systemDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return StartFailure{QStringLiteral("Cannot start the launch script %1: the command interpreter was not found")
                                .arg(scriptName)};
    const std::wstring system(systemDir, length);
    const std::wstring interpreter = system + L"\\cmd.exe";

    auto copied = writeCopy(script);
    if (auto *reason = std::get_if<QString>(&copied))
        return StartFailure{QStringLiteral("Cannot start the launch script %1: its copy for the command interpreter "
                                           "cannot be written: %2")
                                .arg(scriptName, *reason)};
    Copy copy = std::get<Copy>(std::move(copied));
    std::wstring line = commandLine(system, copy.path);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    // Started held, so that it is in its job before it can start anything.
    // Its current folder is the ROM folder, where quex.exe is looked for.
    if (!CreateProcessW(interpreter.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | CREATE_SUSPENDED, nullptr, nullptr, &startup, &process)) {
        const DWORD error = GetLastError();
        DeleteFileW(copy.path.c_str());
        CloseHandle(copy.job);
        return StartFailure{QStringLiteral("Cannot start the launch script %1: %2")
                                .arg(scriptName, qt_error_string(static_cast<int>(error)))};
    }
    // The job only names its processes: it sets no limit, and closing it
    // ends none of them. The interpreter holds a handle to it, which keeps
    // its name while it runs, even after the front end has gone. Where the
    // interpreter cannot be put in it (a front end in a job that allows none
    // within), it runs unwatched.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    SetInformationJobObject(copy.job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    HANDLE held = nullptr;
    DuplicateHandle(GetCurrentProcess(), copy.job, process.hProcess, &held, JOB_OBJECT_QUERY, FALSE, 0);
    auto newcomers = watch ? std::make_unique<Newcomers>() : nullptr;
    const bool inJob = (!newcomers || newcomers->watch(copy.job)) && AssignProcessToJobObject(copy.job, process.hProcess);
    if (inJob && watch) {
        HANDLE own = nullptr;
        if (DuplicateHandle(GetCurrentProcess(), copy.job, GetCurrentProcess(), &own, JOB_OBJECT_QUERY, FALSE, 0)) {
            const std::shared_ptr<void> job(own, [](HANDLE handle) { CloseHandle(handle); });
            watch->m_processes = [job] { return processesOf(job.get()); };
        }
        HANDLE watched = nullptr;
        // Without a handle of its own to wait on, the task runs unwatched.
        if (DuplicateHandle(GetCurrentProcess(), process.hProcess, GetCurrentProcess(), &watched, 0, FALSE,
                            DUPLICATE_SAME_ACCESS))
            watch->m_source = std::make_unique<TaskWatch::PlatformSource>(watch, watched, std::move(newcomers));
    }
    newcomers.reset(); // done with the job's names unless watching
    // Registered before the interpreter runs, so it cannot end before.
    auto *removal = new Removal{process.hProcess, copy.job, copy.path};
    if (!RegisterWaitForSingleObject(&removal->wait, process.hProcess, &Removal::ended, removal, INFINITE,
                                     WT_EXECUTEONLYONCE)) {
        CloseHandle(process.hProcess);
        CloseHandle(copy.job);
        delete removal; // the copy is left for the next Run to remove
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    if (watch && !watch->m_source)
        QMetaObject::invokeMethod(watch, [watch] { watch->finish(); }, Qt::QueuedConnection);
    return static_cast<double>(process.dwProcessId);
}

void ignoreFileSizeSignal()
{
}

} // namespace launch
