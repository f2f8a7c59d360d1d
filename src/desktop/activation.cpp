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
#include <QInputEvent>
#include <QWindow>

namespace desktop {

namespace {

// The server time of the user's latest key or button: the Run press, when
// Run is pressed. On X11 Qt's input events carry the X server's timestamps.
class InputClock final : public QObject {
public:
    using QObject::QObject;
    quint32 last = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            last = quint32(static_cast<QInputEvent *>(event)->timestamp());
            break;
        default:
            break;
        }
        return false;
    }
};

InputClock *inputClock = nullptr;

void installInputClock()
{
    inputClock = new InputClock(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(inputClock);
}
Q_COREAPP_STARTUP_FUNCTION(installInputClock)

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

launch::StartupToken startupToken()
{
#ifdef ZV_WAYLAND_TOKENS
    if (qGuiApp)
        return {requestWaylandToken()};
#endif
    return {};
}

void activateTask(double taskId)
{
    if (!qGuiApp || !(taskId > 1 && taskId < 4194305))
        return;
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb"))
        activateOnX11({qgetenv("DISPLAY"), pid_t(taskId), ownX11Windows(), inputClock ? inputClock->last : 0, {}});
    else if (platform == QLatin1String("wayland"))
        // The front end has no X window: while its own Wayland window has
        // the focus, XWayland reports no active window.
        activateOnX11({qgetenv("DISPLAY"), pid_t(taskId), {}, 0,
                       [] { return QGuiApplication::focusWindow() != nullptr; }});
}

} // namespace desktop
