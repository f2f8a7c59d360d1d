#include "desktop/wayland_token.h"

#include "xdg-activation-v1-client-protocol.h"

#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <wayland-client.h>

// The requests go through the toolkit's own connection to the compositor, on
// an event queue of our own: the toolkit's queue and its events are never
// touched, and our wait is bounded. The activation global is bound once, on
// a registry walk that may take more than one Run to be answered.

namespace desktop {

namespace {

void onGlobalRemoved(void *, wl_registry *, uint32_t) {}

void onToken(void *data, xdg_activation_token_v1 *, const char *token)
{
    *static_cast<QByteArray *>(data) = token;
}
constexpr xdg_activation_token_v1_listener kTokenListener{onToken};

// The toolkit's own seat, serial and focused surface. The toolkit's answers
// for the seat and the serial take its first input device as given, so they
// are asked only once the compositor is known to offer a seat.
TokenContext toolkitContext()
{
    TokenContext context;
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    if (!native)
        return context;
    context.serial = quint32(quintptr(native->nativeResourceForIntegration("serial")));
    context.seat = static_cast<wl_seat *>(native->nativeResourceForIntegration("wl_seat"));
    if (QWindow *focused = QGuiApplication::focusWindow())
        context.surface = static_cast<wl_surface *>(native->nativeResourceForWindow("surface", focused));
    return context;
}

} // namespace

void WaylandTokens::onGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto *self = static_cast<WaylandTokens *>(data);
    if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0 && !self->m_global)
        self->m_global =
            static_cast<xdg_activation_v1 *>(wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
    else if (std::strcmp(interface, wl_seat_interface.name) == 0)
        ++self->m_seats;
}

void WaylandTokens::onSynced(void *data, wl_callback *, uint32_t)
{
    static_cast<WaylandTokens *>(data)->m_synced = true;
}

WaylandTokens::WaylandTokens(wl_display *display, std::function<TokenContext()> context)
    : m_display(display), m_context(std::move(context))
{
}

WaylandTokens::~WaylandTokens()
{
    if (m_sync)
        wl_callback_destroy(m_sync);
    if (m_global)
        xdg_activation_v1_destroy(m_global);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_queue)
        wl_event_queue_destroy(m_queue);
}

// Dispatches our queue until `done` or the deadline. The toolkit reads the
// same connection on its own; whoever reads puts our events on our queue, so
// the wait is in short slices that look at the queue again.
bool WaylandTokens::dispatchUntil(const QDeadlineTimer &deadline, const std::function<bool()> &done)
{
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        if (wl_display_prepare_read_queue(m_display, m_queue) != 0) {
            if (wl_display_dispatch_queue_pending(m_display, m_queue) < 0)
                return false;
            continue;
        }
        wl_display_flush(m_display);
        pollfd readable{wl_display_get_fd(m_display), POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(std::min<qint64>(deadline.remainingTime(), 5)));
        if (ready <= 0) {
            wl_display_cancel_read(m_display);
            if (ready < 0 && errno != EINTR)
                return false;
        } else if (wl_display_read_events(m_display) < 0) {
            return false;
        }
        if (wl_display_dispatch_queue_pending(m_display, m_queue) < 0)
            return false;
    }
    return true;
}

// The registry walk is made once; a compositor that does not answer it in
// time is waited for again on the next request, on the same walk.
bool WaylandTokens::bind(const QDeadlineTimer &deadline)
{
    static constexpr wl_registry_listener kRegistryListener{&WaylandTokens::onGlobal, onGlobalRemoved};
    static constexpr wl_callback_listener kSyncListener{&WaylandTokens::onSynced};
    if (!m_queue) {
        m_queue = wl_display_create_queue(m_display);
        auto *ours = static_cast<wl_display *>(wl_proxy_create_wrapper(m_display));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(ours), m_queue);
        m_registry = wl_display_get_registry(ours);
        wl_registry_add_listener(m_registry, &kRegistryListener, this);
        m_sync = wl_display_sync(ours);
        wl_callback_add_listener(m_sync, &kSyncListener, this);
        wl_proxy_wrapper_destroy(ours);
    }
    if (!m_synced && !dispatchUntil(deadline, [this] { return m_synced; }))
        return false;
    if (m_sync) {
        wl_callback_destroy(m_sync);
        m_sync = nullptr;
    }
    return m_global != nullptr;
}

QByteArray WaylandTokens::request()
{
    if (!m_display) {
        QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
        m_display = native ? static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display")) : nullptr;
        if (!m_display)
            return {};
        m_context = toolkitContext;
    }
    const QDeadlineTimer deadline(m_wait);
    // A token is for the user's input on a seat: where there is none (a
    // kiosk, a test compositor) none is asked for.
    if (!bind(deadline) || !hasSeat())
        return {};

    xdg_activation_token_v1 *request = xdg_activation_v1_get_activation_token(m_global);
    QByteArray token;
    xdg_activation_token_v1_add_listener(request, &kTokenListener, &token);
    const TokenContext context = m_context ? m_context() : TokenContext{};
    if (context.seat && context.serial)
        xdg_activation_token_v1_set_serial(request, context.serial, context.seat);
    if (context.surface)
        xdg_activation_token_v1_set_surface(request, context.surface);
    xdg_activation_token_v1_commit(request);
    dispatchUntil(deadline, [&token] { return !token.isEmpty(); });
    xdg_activation_token_v1_destroy(request);
    return token;
}

} // namespace desktop
