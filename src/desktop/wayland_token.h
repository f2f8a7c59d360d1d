#pragma once
// Startup tokens from the Wayland compositor (xdg_activation_v1), asked for
// on the user's Run press, for the started task to bring its own window
// forward with. Only where the front end is itself a Wayland client.

#include <QByteArray>
#include <QDeadlineTimer>

#include <chrono>
#include <cstdint>
#include <functional>

struct wl_display;
struct wl_event_queue;
struct wl_registry;
struct wl_callback;
struct wl_seat;
struct wl_surface;
struct xdg_activation_v1;

namespace desktop {

// What a token request carries besides the compositor's global: the seat
// and serial of the user's latest input (the Run press) and the surface it
// went to, any of them possibly missing.
struct TokenContext {
    wl_seat *seat = nullptr;
    quint32 serial = 0;
    wl_surface *surface = nullptr;
};

class WaylandTokens final {
public:
    // Over the toolkit's own connection, found when a token is first asked
    // for; tests hand in a connection and the context of their own.
    WaylandTokens() = default;
    WaylandTokens(wl_display *display, std::function<TokenContext()> context);
    ~WaylandTokens();
    WaylandTokens(const WaylandTokens &) = delete;
    WaylandTokens &operator=(const WaylandTokens &) = delete;

    // A new token, or empty when the compositor hands out none, offers no
    // seat, or does not answer within the wait (100 ms unless set).
    QByteArray request();

    // How long a request waits on the compositor: short, since the user
    // waits for the task meanwhile; tests on a loaded machine give more.
    void setWait(std::chrono::milliseconds wait) { m_wait = wait; }

    // What the registry walk found once the compositor answered it.
    bool answered() const { return m_synced; }
    bool hasSeat() const { return m_seats > 0; }

private:
    bool bind(const QDeadlineTimer &deadline);
    bool dispatchUntil(const QDeadlineTimer &deadline, const std::function<bool()> &done);
    static void onGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t);
    static void onSynced(void *data, wl_callback *, uint32_t);

    wl_display *m_display = nullptr;
    std::function<TokenContext()> m_context;
    wl_event_queue *m_queue = nullptr;
    wl_registry *m_registry = nullptr;
    wl_callback *m_sync = nullptr;
    xdg_activation_v1 *m_global = nullptr;
    std::chrono::milliseconds m_wait{100};
    int m_seats = 0;
    bool m_synced = false;
};

} // namespace desktop
