#include "desktop/wayland_token.h"

#include "xdg-activation-v1-client-protocol.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

#include <poll.h>
#include <wayland-client.h>

// The requests go through Qt's own connection to the compositor, on an event
// queue of our own: Qt's queue and its events are never touched, and our
// wait is bounded.

namespace desktop {

namespace {

constexpr int kWaitMs = 100;

// The activation global, bound once on our queue and kept.
struct Activation {
    wl_display *display = nullptr;
    wl_event_queue *queue = nullptr;
    xdg_activation_v1 *global = nullptr;
    bool looked = false;
};

void onGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
        static_cast<Activation *>(data)->global =
            static_cast<xdg_activation_v1 *>(wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}
void onGlobalRemoved(void *, wl_registry *, uint32_t) {}
constexpr wl_registry_listener kRegistryListener{onGlobal, onGlobalRemoved};

void onSynced(void *data, wl_callback *, uint32_t)
{
    *static_cast<bool *>(data) = true;
}
constexpr wl_callback_listener kSyncListener{onSynced};

void onToken(void *data, xdg_activation_token_v1 *, const char *token)
{
    *static_cast<QByteArray *>(data) = token;
}
constexpr xdg_activation_token_v1_listener kTokenListener{onToken};

// Dispatches our queue until `done` or the deadline. Qt reads the same
// connection on its own; whoever reads puts our events on our queue, so the
// wait is in short slices that look at the queue again.
bool dispatchUntil(const Activation &a, const QDeadlineTimer &deadline, const std::function<bool()> &done)
{
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        if (wl_display_prepare_read_queue(a.display, a.queue) != 0) {
            if (wl_display_dispatch_queue_pending(a.display, a.queue) < 0)
                return false;
            continue;
        }
        wl_display_flush(a.display);
        pollfd readable{wl_display_get_fd(a.display), POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(std::min<qint64>(deadline.remainingTime(), 5)));
        if (ready <= 0) {
            wl_display_cancel_read(a.display);
            if (ready < 0 && errno != EINTR)
                return false;
        } else if (wl_display_read_events(a.display) < 0) {
            return false;
        }
        if (wl_display_dispatch_queue_pending(a.display, a.queue) < 0)
            return false;
    }
    return true;
}

// Binds the activation global on the first call; false when the compositor has none.
bool bind(Activation &a, wl_display *display, const QDeadlineTimer &deadline)
{
    if (a.looked)
        return a.global != nullptr;
    a.looked = true;
    a.display = display;
    a.queue = wl_display_create_queue(display);
    auto *ours = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(ours), a.queue);
    wl_registry *registry = wl_display_get_registry(ours);
    wl_registry_add_listener(registry, &kRegistryListener, &a);
    bool synced = false;
    wl_callback *sync = wl_display_sync(ours);
    wl_callback_add_listener(sync, &kSyncListener, &synced);
    wl_proxy_wrapper_destroy(ours);
    dispatchUntil(a, deadline, [&synced] { return synced; });
    if (!synced) // the compositor is slow: maybe next time
        a.looked = false;
    wl_callback_destroy(sync);
    wl_registry_destroy(registry);
    return a.global != nullptr;
}

} // namespace

QByteArray requestWaylandToken()
{
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        return {};
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    auto *display = native ? static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display")) : nullptr;
    if (!display)
        return {};
    const QDeadlineTimer deadline(kWaitMs);
    static Activation activation;
    if (!bind(activation, display, deadline))
        return {};

    xdg_activation_token_v1 *request = xdg_activation_v1_get_activation_token(activation.global);
    QByteArray token;
    xdg_activation_token_v1_add_listener(request, &kTokenListener, &token);
    // The serial of the user's latest input, the Run press, and the surface it went to.
    const auto serial = uint32_t(quintptr(native->nativeResourceForIntegration("serial")));
    if (auto *seat = static_cast<wl_seat *>(native->nativeResourceForIntegration("wl_seat")); seat && serial)
        xdg_activation_token_v1_set_serial(request, serial, seat);
    if (QWindow *focused = QGuiApplication::focusWindow())
        if (auto *surface = static_cast<wl_surface *>(native->nativeResourceForWindow("surface", focused)))
            xdg_activation_token_v1_set_surface(request, surface);
    xdg_activation_token_v1_commit(request);
    dispatchUntil(activation, deadline, [&token] { return !token.isEmpty(); });
    xdg_activation_token_v1_destroy(request);
    return token;
}

} // namespace desktop
