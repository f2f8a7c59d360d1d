#pragma once
// The started task's window on an X display, found and brought forward the
// EWMH way over an X connection of our own: nothing sent there can break
// the toolkit's connection, and the front end need not be an X client at all
// (a Wayland client reaches wine's windows through XWayland this way). Every
// request and reply of that connection goes on a thread of its own, so a
// slow, stopped or hung X server never holds up the window.

#include <QByteArray>
#include <QDeadlineTimer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include <sys/types.h>

class QThread;

namespace desktop {

struct X11Request {
    QByteArray display;                    // as in DISPLAY
    pid_t task = 0;
    std::vector<std::uint32_t> ownWindows;  // the front end's top-level X windows, if it has any
    std::uint32_t pressTime = 0;            // X server time of the Run press; 0 when unknown
    QDeadlineTimer deadline;                // when looking ends, counted from the Run press
    // The front end is a Wayland client: it has no X window of its own, so
    // whether it holds the focus is what the toolkit last said; and the X
    // server may be a lazily started XWayland, which only a window of the
    // task should start.
    bool frontEndOnWayland = false;
};

class X11Worker;

class X11Activation final {
public:
    X11Activation();
    // Never waits on the X server: the connection is shut down first, so
    // that the looking thread ends before the toolkit does.
    ~X11Activation();
    X11Activation(const X11Activation &) = delete;
    X11Activation &operator=(const X11Activation &) = delete;

    // Looks for the task's window until the request's deadline and
    // activates it while the user is still with the front end; otherwise
    // the window is only flagged as wanting attention. The connection is
    // opened on first use and kept; without a server, nothing happens and
    // nothing is reported. A later request replaces one still looking.
    void activate(X11Request request);

    // Called on the user-interface thread whenever the focus moves.
    void setFrontEndFocused(bool focused) { m_focused->store(focused); }

private:
    std::shared_ptr<std::atomic<bool>> m_focused = std::make_shared<std::atomic<bool>>(false);
    QThread *m_thread = nullptr;
    X11Worker *m_worker = nullptr;
};

// Whether the X server of `display` runs: false only where it is a lazily
// started one (XWayland) that no client has started yet. Reads the system's
// socket table, the text of /proc/net/unix, given as `socketTable`.
bool xServerStarted(const QByteArray &display, const QByteArray &socketTable);

} // namespace desktop
