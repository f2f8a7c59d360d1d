// Which way the task's window is brought forward depends on what the front
// end itself runs on. As an X client: over the same display. As a Wayland
// client: the task gets a startup token for its own window (native Wayland
// programs), and an X window of the task (wine's, shown through XWayland) is
// looked for on the X display of the session, if there is one.

#include "desktop/activation.h"

#include "desktop/x11_activation.h"
#ifdef ZV_WAYLAND_TOKENS
#include "desktop/wayland_token.h"
#endif

#include <QGuiApplication>
#include <QWindow>

namespace desktop {

namespace {

constexpr int kLookMs = 10000;

// The front end's own top-level windows that exist on the display.
std::vector<std::uint32_t> ownX11Windows()
{
    std::vector<std::uint32_t> windows;
    for (QWindow *window : QGuiApplication::topLevelWindows())
        if (window->handle())
            windows.push_back(std::uint32_t(window->winId()));
    return windows;
}

} // namespace

struct Activator::Private {
    std::unique_ptr<X11Activation> x11; // made on the first Run that needs it
#ifdef ZV_WAYLAND_TOKENS
    WaylandTokens tokens;
#endif
};

Activator::Activator(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) {}

Activator::~Activator() = default;

QByteArray Activator::startupToken()
{
#ifdef ZV_WAYLAND_TOKENS
    if (QGuiApplication::platformName() == QLatin1String("wayland"))
        return d->tokens.request();
#endif
    return {};
}

void Activator::activateTask(double taskId, quint64 pressTime, std::function<std::vector<quint32>()>)
{
    if (!qGuiApp || !(taskId > 1 && taskId < 4194305))
        return;
    const QString platform = QGuiApplication::platformName();
    const bool wayland = platform == QLatin1String("wayland");
    if (!wayland && platform != QLatin1String("xcb"))
        return;
    X11Request request;
    request.display = qgetenv("DISPLAY");
    request.task = pid_t(taskId);
    request.deadline = QDeadlineTimer(kLookMs);
    if (request.display.isEmpty())
        return; // no X display to look on, and nothing to report
    if (!d->x11) {
        d->x11 = std::make_unique<X11Activation>();
        // Whether the user is still with the front end is asked of the
        // looking thread's display; where the front end has no X window it
        // is told from here whenever the focus moves.
        connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
                [x11 = d->x11.get()](QWindow *focused) { x11->setFrontEndFocused(focused != nullptr); });
    }
    d->x11->setFrontEndFocused(QGuiApplication::focusWindow() != nullptr);
    if (wayland) {
        // The front end has no X window; XWayland may not even run yet, and
        // is left to start for a window of the task rather than for us.
        request.frontEndOnWayland = true;
    } else {
        request.ownWindows = ownX11Windows();
        request.pressTime = std::uint32_t(pressTime); // X server time, as Qt's xcb events carry it
    }
    d->x11->activate(std::move(request));
}

} // namespace desktop
