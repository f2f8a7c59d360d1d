// Bringing the started emulator's window to the front on Windows. The task is
// the command interpreter running the launch script; the emulator is its
// child and shows its window some time later, so the task's processes, as its
// job lists them, are looked at from the event loop every 75 ms for at most
// 10 s. The job's list, unlike parent process ids, names no stranger: an id
// is reused soon after its process ends, and an orphan keeps its dead
// parent's. A window that has only just been shown may not take the
// foreground yet: it is asked again until it has had it, and never after, so
// a user who turns back to the front end keeps it. Under wine the window
// manager decides, and is asked in steps.

#include "desktop/activation.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <cwchar>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include <windows.h>

namespace desktop {

namespace {

constexpr int kPollMs = 75;
constexpr int kGiveUpMs = 10000;
// Under wine: how long each step of bringing a window forward waits for the
// window manager to have taken the one before, and how long a window is
// watched after it, in case the minimizing came after the restoring.
constexpr int kWineStepMs = 250;
constexpr int kWineWatchMs = 1500;

struct Candidates {
    const std::set<DWORD> *family;
    HWND console;            // the interpreter's console, where known
    DWORD task;
    HWND own = nullptr;      // the interpreter's own window (its console)
    HWND started = nullptr;  // the newest window of a process it started
};

// The interpreter's console belongs to a console host the interpreter (or
// the system for it) started: by its class it is the interpreter's own.
bool isConsole(HWND window)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    return std::wcscmp(name, L"ConsoleWindowClass") == 0 || std::wcscmp(name, L"WineConsoleClass") == 0;
}

BOOL CALLBACK collect(HWND window, LPARAM param)
{
    auto *c = reinterpret_cast<Candidates *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) || (window != c->console && !c->family->count(owner)))
        return TRUE;
    // EnumWindows goes from the top of the Z order down: the first found is the newest shown.
    HWND &slot = owner == c->task || window == c->console || isConsole(window) ? c->own : c->started;
    if (!slot)
        slot = window;
    return TRUE;
}

// Under wine the window manager, not wine, decides which window is active:
// wine may take a new window for the foreground that the window manager has
// not activated (one that gives new windows no focus).
bool underWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The window of the console the process `task` runs in, asked of the console
// itself: its host is no process of the task's (conhost under wine and, on
// Windows 11, Windows Terminal, whose tab GetConsoleWindow gives as a hidden
// window owned by the Terminal's window). For the moment it takes, the front
// end shares the console, with its standard handles kept as they were.
HWND consoleWindowOf(DWORD task)
{
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE),
                 err = GetStdHandle(STD_ERROR_HANDLE);
    if (!AttachConsole(task))
        return nullptr; // none yet, or the front end has a console of its own
    HWND window = GetConsoleWindow();
    FreeConsole();
    SetStdHandle(STD_INPUT_HANDLE, in);
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    SetStdHandle(STD_ERROR_HANDLE, err);
    if (window && !IsWindowVisible(window))
        if (const HWND host = GetWindow(window, GW_OWNER); host && IsWindowVisible(host))
            window = host;
    return window;
}

DWORD ownerOf(HWND window)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner;
}

class Activation final : public QObject {
public:
    explicit Activation(QObject *parent) : QObject(parent)
    {
        m_timer.setInterval(kPollMs);
        connect(&m_timer, &QTimer::timeout, this, &Activation::poll);
    }

    void start(DWORD task, std::function<std::vector<quint32>()> processes)
    {
        m_task = task;
        m_processes = std::move(processes);
        m_console = nullptr;
        restoreHalfway();
        m_shown = m_asked = nullptr;
        m_hadForeground = false;
        m_userWithUs = true; // the user has just pressed Run
        m_deadline = QDeadlineTimer(kGiveUpMs);
        // The user's Run press makes this process the one that may hand the
        // foreground on.
        AllowSetForegroundWindow(task);
        m_timer.start();
        poll();
    }

private:
    // The emulator, a child of the interpreter, is what the user wants to
    // see; the interpreter's console only serves until it shows a window.
    void poll()
    {
        // The job names only live processes: once the interpreter has ended,
        // its id may be another program's, and is no longer taken for ours.
        std::set<DWORD> family;
        if (m_processes)
            for (const quint32 process : m_processes())
                family.insert(DWORD(process));
        else
            family.insert(m_task);
        if (!m_console && family.count(m_task))
            m_console = consoleWindowOf(m_task);
        Candidates found{&family, m_console, m_task};
        EnumWindows(collect, reinterpret_cast<LPARAM>(&found));
        const HWND active = GetForegroundWindow();
        // Where the user is, as long as the emulator has shown no window:
        // once it has, the foreground may be its window whoever has the
        // focus (wine gives a new window the foreground regardless).
        if (!found.started && active)
            m_userWithUs = active == m_console || ownerOf(active) == GetCurrentProcessId()
                           || family.count(ownerOf(active)) > 0;
        if (m_asked && active == m_asked)
            m_hadForeground = true;
        const HWND window = found.started ? found.started : found.own;
        if (window && window != m_shown) {
            m_shown = window;
            bringForward(window);
        } else if (m_asked && active != m_asked && !m_hadForeground) {
            bringForward(m_asked);
        }
        wineStep();
        const bool settled = !m_asked || (m_hadForeground && m_wineStep == WineStep::None);
        if ((found.started && settled) || (m_deadline.hasExpired() && m_wineStep == WineStep::None))
            m_timer.stop(); // done, or the task shows no window: nothing to report
    }

    // Only while the user is still with the front end or what it started
    // (the task, the console the interpreter was given): someone who
    // switched to another program in the meantime is not pulled back, the
    // taskbar flags the emulator instead.
    void bringForward(HWND window)
    {
        if (!m_userWithUs) {
            restoreHalfway();
            m_asked = nullptr;
            FLASHWINFO flash{};
            flash.cbSize = sizeof flash;
            flash.hwnd = window;
            flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
            FlashWindowEx(&flash);
            return;
        }
        if (m_underWine) {
            // Wine hands the foreground alone to no window manager, but it
            // asks for a minimized window to be mapped again when it is
            // restored, which window managers take as an activation. Each
            // step waits for the window manager to have the one before: a
            // window only just shown may not be managed yet.
            if (window != m_asked) {
                restoreHalfway();
                m_asked = window;
                m_hadForeground = false;
                m_wineStep = WineStep::Minimize;
                m_stepDue = QDeadlineTimer(kWineStepMs);
            }
            return;
        }
        SetForegroundWindow(window);
        if (window != m_asked)
            m_hadForeground = false;
        m_asked = window;
    }

    void wineStep()
    {
        if (m_wineStep == WineStep::Watch && IsIconic(m_asked))
            ShowWindow(m_asked, SW_RESTORE); // minimized after all, once restored
        if (m_wineStep == WineStep::None || !m_stepDue.hasExpired())
            return;
        switch (m_wineStep) {
        case WineStep::Minimize:
            ShowWindow(m_asked, SW_SHOWMINNOACTIVE);
            m_wineStep = WineStep::Restore;
            m_stepDue = QDeadlineTimer(kWineStepMs);
            break;
        case WineStep::Restore:
            ShowWindow(m_asked, SW_RESTORE);
            SetForegroundWindow(m_asked);
            m_wineStep = WineStep::Watch;
            m_stepDue = QDeadlineTimer(kWineWatchMs);
            break;
        default:
            m_wineStep = WineStep::None;
        }
    }

    // A window minimized on the way to the front is never left so.
    void restoreHalfway()
    {
        if (m_wineStep == WineStep::Restore && IsWindow(m_asked) && IsIconic(m_asked))
            ShowWindow(m_asked, SW_SHOWNOACTIVATE);
        m_wineStep = WineStep::None;
    }

    enum class WineStep { None, Minimize, Restore, Watch };

    QTimer m_timer;
    QDeadlineTimer m_deadline;
    DWORD m_task = 0;
    std::function<std::vector<quint32>()> m_processes; // the task's job's processes
    HWND m_console = nullptr;
    HWND m_shown = nullptr;
    HWND m_asked = nullptr;      // asked for the foreground
    bool m_hadForeground = false; // and it has had it: it is not asked again
    bool m_userWithUs = true;
    const bool m_underWine = underWine();
    WineStep m_wineStep = WineStep::None;
    QDeadlineTimer m_stepDue;
};

} // namespace

struct Activator::Private {
    Activation *activation = nullptr; // a child of the Activator, made on the first Run
};

Activator::Activator(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) {}

Activator::~Activator() = default;

QByteArray Activator::startupToken()
{
    return {}; // the foreground is handed on by AllowSetForegroundWindow
}

void Activator::activateTask(double taskId, quint64, std::function<std::vector<quint32>()> processes)
{
    if (!(taskId > 0 && taskId <= 4294967295.0))
        return;
    if (!d->activation)
        d->activation = new Activation(this);
    d->activation->start(static_cast<DWORD>(taskId), std::move(processes));
}

} // namespace desktop
