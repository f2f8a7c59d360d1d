// Bringing the started emulator's window to the front on Windows. The task is
// the command interpreter running the launch script; the emulator is its
// child and shows its window some time later, so the task's family is looked
// at from the event loop every 75 ms for at most 10 s.

#include "desktop/activation.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <set>
#include <utility>
#include <vector>

#include <windows.h>
#include <tlhelp32.h>

namespace desktop {

namespace {

constexpr int kPollMs = 75;
constexpr int kGiveUpMs = 10000;

// The task and every process it started, from one snapshot of the process list.
std::set<DWORD> familyOf(DWORD task)
{
    std::set<DWORD> family{task};
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return family;
    std::vector<std::pair<DWORD, DWORD>> parents; // process, its parent
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        parents.emplace_back(entry.th32ProcessID, entry.th32ParentProcessID);
    CloseHandle(snapshot);
    // The snapshot lists children before or after their parents: grow until nothing is added.
    for (bool grown = true; grown;) {
        grown = false;
        for (const auto &[process, parent] : parents)
            grown = (family.count(parent) && family.insert(process).second) || grown;
    }
    return family;
}

struct Candidates {
    const std::set<DWORD> *family;
    DWORD task;
    HWND own = nullptr;      // the interpreter's own window (its console)
    HWND started = nullptr;  // the newest window of a process it started
};

BOOL CALLBACK collect(HWND window, LPARAM param)
{
    auto *c = reinterpret_cast<Candidates *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) || !c->family->count(owner))
        return TRUE;
    // EnumWindows goes from the top of the Z order down: the first found is the newest shown.
    HWND &slot = owner == c->task ? c->own : c->started;
    if (!slot)
        slot = window;
    return TRUE;
}

bool belongsTo(HWND window, const std::set<DWORD> &family)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return family.count(owner) || owner == GetCurrentProcessId();
}

class Activation final : public QObject {
public:
    explicit Activation(QObject *parent) : QObject(parent)
    {
        m_timer.setInterval(kPollMs);
        connect(&m_timer, &QTimer::timeout, this, &Activation::poll);
    }

    void start(DWORD task)
    {
        m_task = task;
        m_shown = nullptr;
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
        const std::set<DWORD> family = familyOf(m_task);
        Candidates found{&family, m_task};
        EnumWindows(collect, reinterpret_cast<LPARAM>(&found));
        HWND window = found.started ? found.started : found.own;
        if (window && window != m_shown) {
            bringForward(window, family);
            m_shown = window;
        }
        if (found.started || m_deadline.hasExpired())
            m_timer.stop(); // done, or the task shows no window: nothing to report
    }

    // Only while the user is still with the front end (or the task): someone
    // who switched to another program in the meantime is not pulled back,
    // the taskbar flags the emulator instead.
    void bringForward(HWND window, const std::set<DWORD> &family)
    {
        const HWND active = GetForegroundWindow();
        if (!active || belongsTo(active, family)) {
            SetForegroundWindow(window);
            return;
        }
        FLASHWINFO flash{};
        flash.cbSize = sizeof flash;
        flash.hwnd = window;
        flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
        FlashWindowEx(&flash);
    }

    QTimer m_timer;
    QDeadlineTimer m_deadline;
    DWORD m_task = 0;
    HWND m_shown = nullptr;
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

void Activator::activateTask(double taskId, quint64)
{
    if (!(taskId > 0 && taskId <= 4294967295.0))
        return;
    if (!d->activation)
        d->activation = new Activation(this);
    d->activation->start(static_cast<DWORD>(taskId));
}

} // namespace desktop
