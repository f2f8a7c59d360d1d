// The X11 side's own thread against servers the test controls: a socket that
// takes the connection and never answers, and a private Xvfb where the test
// plays the window manager.

#include "desktop/x11_activation.h"

#include <QProcess>
#include <QTest>

#include <cstdlib>
#include <cstring>
#include <string>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

bool readable(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) == 1;
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

class TestX11Activation final : public QObject {
    Q_OBJECT

private slots:
    // A stopped XWayland takes the connection and never answers: as the
    // front end ends, the connection is given up, not left to a thread that
    // could wake after the toolkit has gone.
    void endsWhileTheServerIsSilent()
    {
        const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int number = 4700;
        for (sockaddr_un at{AF_UNIX, {}};; ++number) {
            const std::string name = "/tmp/.X11-unix/X" + std::to_string(number); // abstract: no file
            std::memcpy(at.sun_path + 1, name.c_str(), name.size());
            if (::bind(server, reinterpret_cast<sockaddr *>(&at), socklen_t(sizeof(sa_family_t) + 1 + name.size())) == 0)
                break;
            QVERIFY(number < 4800);
        }
        QCOMPARE(::listen(server, 1), 0);
        int peer = -1;
        {
            desktop::X11Activation activation;
            activation.activate({":" + QByteArray::number(number), ::getpid(), {}, 0, QDeadlineTimer(60000), false});
            QVERIFY(readable(server, 30000));
            peer = ::accept(server, nullptr, nullptr);
            QVERIFY(readable(peer, 30000)); // the connection's setup, which gets no answer
        }
        char setup[64];
        while (::recv(peer, setup, sizeof setup, MSG_DONTWAIT) > 0) {
        }
        QVERIFY2(readable(peer, 0) && ::recv(peer, setup, 1, 0) == 0, "the connection is still open");
        ::close(peer);
        ::close(server);
    }

    // The client list changes while a retry waits for the server's answer:
    // xcb reads the change along with the answer, and it is still acted on.
    void listChangeReadDuringARetry()
    {
        QProcess xvfb;
        xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!xvfb.waitForStarted())
            QSKIP("no Xvfb here");
        QVERIFY(xvfb.waitForReadyRead(30000));
        const QByteArray display = ":" + xvfb.readLine().trimmed();
        xcb_connection_t *c = xcb_connect(display.constData(), nullptr);
        QVERIFY(!xcb_connection_has_error(c));
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const xcb_atom_t list = atom(c, "_NET_CLIENT_LIST"), active = atom(c, "_NET_ACTIVE_WINDOW");
        const uint32_t task = 4000000, heed = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        const xcb_window_t first = xcb_generate_id(c), second = xcb_generate_id(c);
        for (xcb_window_t w : {first, second}) {
            xcb_create_window(c, 0, w, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, 0, nullptr);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &task);
        }
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, list, XCB_ATOM_WINDOW, 32, 1, &first);
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &heed); // the activation requests
        xcb_flush(c);
        // The window the front end asks for next, as a window manager hears it.
        const auto askedFor = [c, active] {
            for (;;) {
                xcb_generic_event_t *event = xcb_poll_for_event(c);
                if (!event && !readable(xcb_get_file_descriptor(c), 30000))
                    return xcb_window_t(XCB_WINDOW_NONE);
                const auto *message = reinterpret_cast<const xcb_client_message_event_t *>(event);
                if (event && (event->response_type & 0x7F) == XCB_CLIENT_MESSAGE && message->type == active) {
                    const xcb_window_t window = message->window;
                    std::free(event);
                    return window;
                }
                std::free(event);
            }
        };

        desktop::X11Activation activation;
        activation.activate({display, pid_t(task), {}, 0, QDeadlineTimer(60000), false});
        QCOMPARE(askedFor(), first);
        // Nobody makes it active: a retry follows, and its round trip is held
        // by the grab while the list changes (the test only proves something
        // when the retry is waiting by the time the list changes).
        xcb_grab_server(c);
        xcb_flush(c);
        QTest::qWait(500);
        const xcb_window_t both[] = {first, second};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, list, XCB_ATOM_WINDOW, 32, 2, both);
        xcb_ungrab_server(c);
        xcb_flush(c);
        xcb_window_t asked = first;
        for (int retry = 0; retry < 5 && asked == first; ++retry) // a retry is made within a second
            asked = askedFor();
        QCOMPARE(asked, second);
        xcb_disconnect(c);
    }
};

QTEST_GUILESS_MAIN(TestX11Activation)
#include "tst_x11_activation.moc"
