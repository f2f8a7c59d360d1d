#pragma once
// The started task's window on an X display, found and brought forward the
// EWMH way over an X connection of our own: nothing sent there can break
// the toolkit's connection, and the front end need not be an X client at all
// (a Wayland client reaches wine's windows through XWayland this way).

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <vector>

#include <sys/types.h>

namespace desktop {

struct X11Request {
    QByteArray display;                    // as in DISPLAY
    pid_t task = 0;
    std::vector<std::uint32_t> ownWindows;  // the front end's top-level X windows, if it has any
    std::uint32_t pressTime = 0;            // X server time of the Run press; 0 when unknown
    // Where the front end has no X window: whether it holds the focus, asked
    // when the display says no X window does.
    std::function<bool()> frontEndFocused;
};

// Looks for the task's window from the event loop for up to 10 s and
// activates it while the user is still with the front end; otherwise the
// window is only flagged as wanting attention. The connection is opened on
// first use and kept; without a server, nothing happens and nothing is
// reported. A later request replaces one still looking.
void activateOnX11(X11Request request);

} // namespace desktop
