// Startup tokens against a compositor of the test's own (the Wayland server
// library on a thread), which can leave out the seat and hold back its
// answers.

#include "desktop/wayland_token.h"

#include "xdg-activation-v1-server-protocol.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <wayland-client.h>
#include <wayland-server.h>

namespace {

class Compositor {
public:
    explicit Compositor(bool withSeat)
    {
        m_display = wl_display_create();
        m_socket = wl_display_add_socket_auto(m_display);
        wl_global_create(m_display, &xdg_activation_v1_interface, 1, this, &Compositor::bindActivation);
        if (withSeat)
            wl_global_create(m_display, &wl_seat_interface, 1, this, &Compositor::bindSeat);
    }
    ~Compositor()
    {
        stop();
        wl_display_destroy(m_display);
    }

    const char *socket() const { return m_socket; }

    // Answers from a thread of its own until stopped; before, nothing is
    // answered. Not wl_display_run: a stop before that thread first ran
    // (a starved thread, a failed case) would leave it running for good.
    void start()
    {
        m_thread = std::thread([this] {
            while (!m_stop) {
                wl_display_flush_clients(m_display);
                wl_event_loop_dispatch(wl_display_get_event_loop(m_display), 20);
            }
        });
    }
    void stop()
    {
        if (!m_thread.joinable())
            return;
        m_stop = true;
        m_thread.join();
    }

    std::atomic<int> activationBinds{0};
    std::atomic<int> tokensAsked{0};

private:
    static void bindActivation(wl_client *client, void *data, uint32_t version, uint32_t id)
    {
        static constexpr struct xdg_activation_v1_interface kActivation{destroy, getToken, activate};
        auto *self = static_cast<Compositor *>(data);
        ++self->activationBinds;
        wl_resource *resource = wl_resource_create(client, &xdg_activation_v1_interface, int(version), id);
        wl_resource_set_implementation(resource, &kActivation, self, nullptr);
    }
    static void bindSeat(wl_client *client, void *, uint32_t version, uint32_t id)
    {
        wl_resource_create(client, &wl_seat_interface, int(version), id);
    }
    static void destroy(wl_client *, wl_resource *resource) { wl_resource_destroy(resource); }
    static void activate(wl_client *, wl_resource *, const char *, wl_resource *) {}
    static void getToken(wl_client *client, wl_resource *activation, uint32_t id)
    {
        static constexpr struct xdg_activation_token_v1_interface kToken{setSerial, setAppId, setSurface, commit,
                                                                         destroy};
        auto *self = static_cast<Compositor *>(wl_resource_get_user_data(activation));
        ++self->tokensAsked;
        wl_resource *token = wl_resource_create(client, &xdg_activation_token_v1_interface, 1, id);
        wl_resource_set_implementation(token, &kToken, self, nullptr);
    }
    static void setSerial(wl_client *, wl_resource *, uint32_t, wl_resource *) {}
    static void setAppId(wl_client *, wl_resource *, const char *) {}
    static void setSurface(wl_client *, wl_resource *, wl_resource *) {}
    static void commit(wl_client *, wl_resource *token)
    {
        auto *self = static_cast<Compositor *>(wl_resource_get_user_data(token));
        const QByteArray made = "token-" + QByteArray::number(self->tokensAsked);
        xdg_activation_token_v1_send_done(token, made.constData());
    }

    wl_display *m_display = nullptr;
    const char *m_socket = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

// The front end's side: a connection of its own, the tokens asked for over
// it, and how often the toolkit's seat and serial were asked for. The wait
// is one no loaded machine runs out of.
constexpr std::chrono::seconds kAmpleWait(60);

struct FrontEnd {
    explicit FrontEnd(const Compositor &compositor)
        : display(wl_display_connect(compositor.socket()), wl_display_disconnect)
    {
        tokens.setWait(kAmpleWait);
    }
    bool connected() const { return display != nullptr; }

    const std::unique_ptr<wl_display, decltype(&wl_display_disconnect)> display;
    int contexts = 0;
    desktop::WaylandTokens tokens{display.get(), [this] {
                                      ++contexts;
                                      return desktop::TokenContext{};
                                  }};
};

} // namespace

class TestWaylandTokens final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }

    // A new token for each Run press; the activation global is bound once
    // for all of them.
    void tokenPerRequest()
    {
        Compositor compositor(true);
        compositor.start();
        FrontEnd frontEnd(compositor);
        QVERIFY(frontEnd.connected());
        QCOMPARE(frontEnd.tokens.request(), QByteArray("token-1"));
        QCOMPARE(frontEnd.tokens.request(), QByteArray("token-2"));
        QVERIFY(frontEnd.tokens.hasSeat());
        QCOMPARE(frontEnd.contexts, 2);
        QCOMPARE(compositor.activationBinds.load(), 1);
    }

    // A compositor without a seat (a kiosk, a test compositor) is asked for
    // no token, and the toolkit is never asked for its seat.
    void noSeatNoToken()
    {
        Compositor compositor(false);
        compositor.start();
        FrontEnd frontEnd(compositor);
        QVERIFY(frontEnd.connected());
        QVERIFY(frontEnd.tokens.request().isEmpty());
        QVERIFY(frontEnd.tokens.answered());
        QVERIFY(!frontEnd.tokens.hasSeat());
        QCOMPARE(frontEnd.contexts, 0);
        QCOMPARE(compositor.tokensAsked.load(), 0);
    }

    // A compositor that answers the first registry walk too late: no token
    // that time, one the next, and still one bind of the global.
    void lateAnswerBindsOnce()
    {
        Compositor compositor(true);
        FrontEnd frontEnd(compositor);
        QVERIFY(frontEnd.connected());
        frontEnd.tokens.setWait(std::chrono::milliseconds(1)); // nothing answers before start(), however long
        QVERIFY(frontEnd.tokens.request().isEmpty());
        QVERIFY(!frontEnd.tokens.answered());
        frontEnd.tokens.setWait(kAmpleWait);
        compositor.start();
        QCOMPARE(frontEnd.tokens.request(), QByteArray("token-1"));
        QCOMPARE(frontEnd.tokens.request(), QByteArray("token-2"));
        QCOMPARE(compositor.activationBinds.load(), 1);
    }

private:
    QTemporaryDir m_runtime;
};

QTEST_APPLESS_MAIN(TestWaylandTokens)
#include "tst_wayland_tokens.moc"
