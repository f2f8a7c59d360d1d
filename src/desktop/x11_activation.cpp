#include "desktop/x11_activation.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <unordered_map>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <X11/Xauth.h>
#include <xcb/res.h>
#include <xcb/xcb.h>

// The task's window shows up in the window manager's _NET_CLIENT_LIST some
// time after the start (a cold wine start takes seconds). Rather than asking
// again and again, the root window's property changes are watched on our own
// connection: the front end sleeps until the list changes, and what it has
// learnt about a window is kept, since a window's owner never changes.

namespace desktop {

namespace {

// How long the user-interface thread waits for the looking thread as the
// front end ends, once the connection is shut: only a connect to a display
// elsewhere that does not answer lasts that long.
constexpr int kEndWaitMs = 1000;
// How often the socket table is looked at while a lazily started XWayland
// has not been started.
constexpr int kServerCheckMs = 200;
// How long an activation request is given before it is made again, at first
// and at most.
constexpr int kFirstRetryMs = 100;
constexpr int kLastRetryMs = 1000;

template <typename T>
using Owned = std::unique_ptr<T, decltype(&std::free)>;

// A request's reply, or nothing: a failed request's error is taken and freed
// here instead of being left in the event queue.
template <typename Reply, typename Cookie>
Owned<Reply> replyOf(Reply *(*get)(xcb_connection_t *, Cookie, xcb_generic_error_t **), xcb_connection_t *c,
                     Cookie cookie)
{
    xcb_generic_error_t *error = nullptr;
    Reply *reply = get(c, cookie, &error);
    std::free(error);
    return Owned<Reply>(reply, &std::free);
}

// The parent of a process, from /proc; 0 when it is gone.
pid_t parentOf(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.read(1024);
    const qsizetype afterName = text.lastIndexOf(')');
    const QList<QByteArray> fields = text.mid(afterName + 2).split(' ');
    return fields.size() > 1 ? pid_t(fields.at(1).toLong()) : 0;
}

QByteArray shortHostName(QByteArray name)
{
    const qsizetype dot = name.indexOf('.');
    return (dot > 0 ? name.left(dot) : name).toLower();
}

QByteArray thisHost()
{
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? shortHostName(name) : QByteArray();
}

enum Atom {
    ClientList,
    WmPid,
    ActiveWindow,
    WmState,
    DemandsAttention,
    WindowType,
    TypeNormal,
    TypeDialog,
    FirstOtherType, // the other window types, which are not the emulator's main window
};
constexpr std::array kAtomNames{
    "_NET_CLIENT_LIST", "_NET_WM_PID", "_NET_ACTIVE_WINDOW", "_NET_WM_STATE", "_NET_WM_STATE_DEMANDS_ATTENTION",
    "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DIALOG",
    "_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE_TOOLBAR",
    "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_TOOLTIP",
    "_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_WINDOW_TYPE_DND"};

// What a listed window is to the task.
enum class Kin { Stranger, Task, Descendant };

// A connection of our own and what is known of its display.
struct Server {
    xcb_connection_t *c = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    std::array<xcb_atom_t, kAtomNames.size()> atoms{};
    bool hasRes = false;
};

// A local display's socket, connected here rather than inside xcb_connect so
// that it can be shut down while the server's first answer is waited for: a
// stopped XWayland takes the connection and never answers. The abstract
// name first, as xcb looks; -1 for a display that is not local, or on error.
int connectLocal(const char *host, int number)
{
    if (std::strcmp(host, "") != 0 && std::strcmp(host, "unix") != 0)
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    for (const bool abstract : {true, false}) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + (abstract ? 1 : 0), path.c_str(), path.size() + 1);
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + 1);
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0)
            return fd;
    }
    ::close(fd);
    return -1;
}

// The connection's socket as the user-interface thread may shut it down
// when the front end ends: a duplicate of the connection's descriptor, which
// only the looking thread opens and closes, with the lock held.
struct EndLine {
    std::mutex lock;
    int fd = -1;
    bool ending = false;

    // False when the front end is ending already: the connection is not to be used.
    bool publish(int connection)
    {
        const std::lock_guard hold(lock);
        if (!ending && connection >= 0)
            fd = ::fcntl(connection, F_DUPFD_CLOEXEC, 0);
        return !ending;
    }
    bool ended()
    {
        const std::lock_guard hold(lock);
        return ending;
    }
    void withdraw()
    {
        const std::lock_guard hold(lock);
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    // Reading ends at once, so that xcb fails wherever it waits. Writing
    // is left alone: a write to a socket shut for writing raises SIGPIPE.
    void end()
    {
        const std::lock_guard hold(lock);
        ending = true;
        if (fd >= 0)
            ::shutdown(fd, SHUT_RD);
    }
};

// Connects with the first authorization the user's authority file holds for
// the display (MIT-MAGIC-COOKIE-1, as servers on this host use), or with
// xcb's own connect for a display elsewhere or a server that refused it.
xcb_connection_t *connectTo(const QByteArray &display, int *screenNumber, EndLine &line)
{
    char *host = nullptr;
    int number = 0;
    const int fd = xcb_parse_display(display.constData(), &host, &number, screenNumber) ? connectLocal(host, number) : -1;
    std::free(host);
    if (fd >= 0) {
        if (!line.publish(fd)) {
            ::close(fd);
            return nullptr;
        }
        char name[256] = {};
        ::gethostname(name, sizeof name - 1);
        const std::string numberText = std::to_string(number);
        char cookie[] = "MIT-MAGIC-COOKIE-1";
        char *names[] = {cookie};
        int nameLengths[] = {int(std::strlen(cookie))};
        Xauth *entry = XauGetBestAuthByAddr(FamilyLocal, (unsigned short)std::strlen(name), name,
                                            (unsigned short)numberText.size(), numberText.c_str(), 1, names, nameLengths);
        xcb_auth_info_t auth{};
        if (entry)
            auth = {entry->name_length, entry->name, entry->data_length, entry->data};
        xcb_connection_t *c = xcb_connect_to_fd(fd, entry ? &auth : nullptr);
        XauDisposeAuth(entry);
        if (!xcb_connection_has_error(c))
            return c;
        xcb_disconnect(c);
        line.withdraw();
        if (line.ended())
            return nullptr;
    }
    // A display elsewhere is connected to inside xcb: only its later waits can be ended.
    xcb_connection_t *c = xcb_connect(display.constData(), screenNumber);
    if (!xcb_connection_has_error(c) && line.publish(xcb_get_file_descriptor(c)))
        return c;
    xcb_disconnect(c);
    return nullptr;
}

// Connects and learns the display: it waits on the server, so it runs on a
// thread of its own. An XWayland started on demand takes a moment to answer,
// and a server that hangs must not hold up the window.
Server openServer(const QByteArray &display, EndLine &line)
{
    Server server;
    int screenNumber = 0;
    server.c = connectTo(display, &screenNumber, line);
    if (!server.c)
        return {};
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(server.c));
    for (; screenNumber > 0 && screens.rem > 1; --screenNumber)
        xcb_screen_next(&screens);
    server.root = screens.data->root;
    xcb_prefetch_extension_data(server.c, &xcb_res_id);
    std::array<xcb_intern_atom_cookie_t, kAtomNames.size()> cookies{};
    for (std::size_t i = 0; i < kAtomNames.size(); ++i)
        cookies[i] = xcb_intern_atom(server.c, 0, uint16_t(std::strlen(kAtomNames[i])), kAtomNames[i]);
    for (std::size_t i = 0; i < kAtomNames.size(); ++i) {
        const auto reply = replyOf(xcb_intern_atom_reply, server.c, cookies[i]);
        server.atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    // Without the X-Resource extension (untrusted ssh -X, some VNC servers)
    // a window without _NET_WM_PID cannot be traced to a process.
    const xcb_query_extension_reply_t *res = xcb_get_extension_data(server.c, &xcb_res_id);
    server.hasRes = res && res->present;
    return server;
}

} // namespace

// Lives on the looking thread: every call into the X connection is made there.
class X11Worker final : public QObject {
public:
    explicit X11Worker(std::shared_ptr<std::atomic<bool>> frontEndFocused)
        : m_focused(std::move(frontEndFocused)), m_giveUp(new QTimer(this)), m_waitForServer(new QTimer(this)),
          m_retry(new QTimer(this))
    {
        // Every way into this object ends by serving what the connection read
        // meanwhile: a round trip takes in the events that came before its
        // reply, and the socket notifier says nothing of those.
        m_retry->setSingleShot(true);
        connect(m_retry, &QTimer::timeout, this, [this] { served(&X11Worker::confirm); });
        m_giveUp->setSingleShot(true);
        connect(m_giveUp, &QTimer::timeout, this, [this] { served(&X11Worker::stop); }); // no window: nothing to report
        m_waitForServer->setInterval(kServerCheckMs);
        connect(m_waitForServer, &QTimer::timeout, this, [this] { served(&X11Worker::connectOnceStarted); });
    }
    // On the user-interface thread, once the looking thread has finished.
    ~X11Worker() override { disconnectFromServer(); }

    void start(X11Request request)
    {
        stop();
        m_request = std::move(request);
        served(&X11Worker::restart);
    }

    // Ends looking and lets go of the server, on this thread, before it ends.
    void finish()
    {
        stop();
        disconnectFromServer();
        QThread::currentThread()->quit();
    }

    // The one call from the user-interface thread, as the front end ends:
    // whatever the looking thread waits for on the server fails at once.
    void end() { m_line.end(); }

private:
    template <typename Step>
    void served(Step step)
    {
        (this->*step)();
        serve(false);
    }

    void restart()
    {
        if (m_request.display.isEmpty() || m_request.deadline.hasExpired())
            return;
        m_looking = true;
        m_giveUp->start(int(std::max<qint64>(m_request.deadline.remainingTime(), 0)));
        if (m_server.c && m_display == m_request.display && !xcb_connection_has_error(m_server.c)) {
            begin();
            return;
        }
        disconnectFromServer();
        m_display = m_request.display;
        connectOnceStarted();
    }

    // A lazily started XWayland is left alone until something else starts
    // it: a native Wayland emulator needs none, and an X11 one starts it by
    // connecting. Until then the socket table is looked at now and then.
    void connectOnceStarted()
    {
        if (!m_looking)
            return;
        if (m_request.frontEndOnWayland && !xServerStarted(m_display, readSocketTable())) {
            m_waitForServer->start();
            return;
        }
        m_waitForServer->stop();
        m_server = openServer(m_display, m_line);
        if (!m_server.c) {
            stop(); // no server there: nothing to do and nothing to report
            return;
        }
        m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_server.c), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { serve(true); });
        begin();
    }

    static QByteArray readSocketTable()
    {
        QFile table(QStringLiteral("/proc/net/unix"));
        return table.open(QIODevice::ReadOnly) ? table.readAll() : QByteArray();
    }

    void begin()
    {
        m_kin.clear();
        m_shown = m_asked = XCB_WINDOW_NONE;
        watchRoot(true);
        look();
    }

    void disconnectFromServer()
    {
        // This may run from the notifier's own signal: it goes once that is over.
        if (m_notifier) {
            m_notifier->setEnabled(false);
            m_notifier->deleteLater();
            m_notifier = nullptr;
        }
        if (m_server.c)
            xcb_disconnect(m_server.c);
        m_server = {};
        m_line.withdraw();
    }

    void stop()
    {
        m_giveUp->stop();
        m_waitForServer->stop();
        m_retry->stop();
        m_asked = XCB_WINDOW_NONE;
        if (m_looking && m_server.c) {
            // A Wayland session's XWayland may end with its last client, and
            // is not kept for us: the next Run connects anew.
            if (m_request.frontEndOnWayland)
                disconnectFromServer();
            else
                watchRoot(false);
        }
        m_looking = false;
    }

    // Property changes of the root window are asked for only while looking,
    // so that focus changes do not wake the front end for the rest of its life.
    void watchRoot(bool on)
    {
        const uint32_t mask = on ? XCB_EVENT_MASK_PROPERTY_CHANGE : XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(m_server.c, m_server.root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_server.c);
    }

    // Takes in what the server sent (errors of requests without reply
    // among it) and looks again whenever the client list changed.
    void serve(bool fromSocket)
    {
        while (m_server.c) {
            bool listChanged = false, activeChanged = false;
            const auto next = fromSocket ? xcb_poll_for_event : xcb_poll_for_queued_event;
            while (xcb_generic_event_t *event = next(m_server.c)) {
                if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
                    const auto *change = reinterpret_cast<const xcb_property_notify_event_t *>(event);
                    const bool ofRoot = change->window == m_server.root;
                    listChanged = listChanged || (ofRoot && change->atom == m_server.atoms[ClientList]);
                    activeChanged = activeChanged || (ofRoot && change->atom == m_server.atoms[ActiveWindow]);
                }
                std::free(event);
            }
            fromSocket = false;
            if (xcb_connection_has_error(m_server.c)) {
                stop();
                disconnectFromServer(); // opened afresh on the next Run
                return;
            }
            if (!m_looking || !(listChanged || (activeChanged && m_asked)))
                return;
            if (listChanged)
                look();
            else
                confirm();
        }
    }

    xcb_get_property_cookie_t ask(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, uint32_t words)
    {
        return xcb_get_property(m_server.c, 0, window, property, type, 0, words);
    }

    // The windows a property of the root lists (_NET_CLIENT_LIST, _NET_ACTIVE_WINDOW).
    std::vector<xcb_window_t> rootWindows(Atom property, uint32_t most)
    {
        const auto reply = replyOf(xcb_get_property_reply, m_server.c,
                                   ask(m_server.root, m_server.atoms[property], XCB_ATOM_WINDOW, most));
        if (!reply || reply->format != 32)
            return {};
        const auto *windows = static_cast<const xcb_window_t *>(xcb_get_property_value(reply.get()));
        return {windows, windows + xcb_get_property_value_length(reply.get()) / 4};
    }

    // The window's first window type we know decides; none means normal.
    bool isMainWindowType(const xcb_get_property_reply_t *type) const
    {
        if (!type || type->format != 32)
            return true;
        const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(type));
        const int count = xcb_get_property_value_length(type) / 4;
        for (int i = 0; i < count; ++i) {
            const auto known = std::find(m_server.atoms.begin() + TypeNormal, m_server.atoms.end(), atoms[i]);
            if (atoms[i] != XCB_ATOM_NONE && known != m_server.atoms.end())
                return known - m_server.atoms.begin() < FirstOtherType;
        }
        return true;
    }

    bool isOnThisHost(const xcb_get_property_reply_t *machine) const
    {
        if (!machine || machine->format != 8 || xcb_get_property_value_length(machine) == 0)
            return true;
        const QByteArray name(static_cast<const char *>(xcb_get_property_value(machine)),
                              xcb_get_property_value_length(machine));
        return m_host.isEmpty() || shortHostName(name) == m_host;
    }

    Kin kinOf(pid_t pid) const
    {
        if (pid == m_request.task)
            return Kin::Task;
        for (int depth = 0; pid > 1 && depth < 64; ++depth)
            if ((pid = parentOf(pid)) == m_request.task)
                return Kin::Descendant;
        return Kin::Stranger;
    }

    // Everything asked about the new windows goes out before any answer is
    // read: one round trip for all of them, and one more for those whose
    // process only the X server knows.
    void learn(const std::vector<xcb_window_t> &fresh)
    {
        struct Asked {
            xcb_window_t window;
            xcb_get_property_cookie_t pid, type, machine;
            pid_t owner = 0;
            bool candidate = false;
            xcb_res_query_client_ids_cookie_t byServer{};
        };
        std::vector<Asked> asked;
        for (xcb_window_t window : fresh)
            asked.push_back({window, ask(window, m_server.atoms[WmPid], XCB_ATOM_CARDINAL, 1),
                             ask(window, m_server.atoms[WindowType], XCB_ATOM_ATOM, 32),
                             ask(window, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 64)});
        for (Asked &a : asked) {
            const auto pid = replyOf(xcb_get_property_reply, m_server.c, a.pid);
            const auto type = replyOf(xcb_get_property_reply, m_server.c, a.type);
            const auto machine = replyOf(xcb_get_property_reply, m_server.c, a.machine);
            a.candidate = isMainWindowType(type.get()) && isOnThisHost(machine.get());
            if (pid && pid->format == 32 && xcb_get_property_value_length(pid.get()) >= 4)
                a.owner = pid_t(*static_cast<const uint32_t *>(xcb_get_property_value(pid.get())));
            else if (a.candidate && m_server.hasRes) {
                const xcb_res_client_id_spec_t pidOfWindow{a.window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
                a.byServer = xcb_res_query_client_ids(m_server.c, 1, &pidOfWindow);
            }
        }
        for (Asked &a : asked) {
            if (a.byServer.sequence) {
                const auto ids = replyOf(xcb_res_query_client_ids_reply, m_server.c, a.byServer);
                auto it = ids ? xcb_res_query_client_ids_ids_iterator(ids.get()) : xcb_res_client_id_value_iterator_t{};
                for (; it.rem; xcb_res_client_id_value_next(&it))
                    if (xcb_res_client_id_value_value_length(it.data) >= 1)
                        a.owner = pid_t(*xcb_res_client_id_value_value(it.data));
            }
            m_kin[a.window] = a.candidate && a.owner > 0 ? kinOf(a.owner) : Kin::Stranger;
        }
    }

    void look()
    {
        const std::vector<xcb_window_t> windows = rootWindows(ClientList, 16384);
        std::vector<xcb_window_t> fresh;
        std::unordered_map<xcb_window_t, Kin> listed;
        for (xcb_window_t window : windows) {
            const auto known = m_kin.find(window);
            if (known == m_kin.end())
                fresh.push_back(window);
            else
                listed.insert(*known);
        }
        m_kin = std::move(listed); // windows gone from the list are forgotten
        learn(fresh);

        // The list is in mapping order: the last of a kind is the newest.
        xcb_window_t own = XCB_WINDOW_NONE, descendant = XCB_WINDOW_NONE;
        for (xcb_window_t window : windows) {
            const Kin kin = m_kin[window];
            if (kin == Kin::Task)
                own = window;
            else if (kin == Kin::Descendant)
                descendant = window;
        }
        // A process the task started (a wrapper script's emulator, or wine's
        // configuration dialog) may show its window first; the task's own
        // window still comes forward when it appears, and then looking ends.
        const xcb_window_t best = own ? own : descendant;
        if (best && best != m_shown) {
            m_shown = best;
            m_shownIsOwn = best == own;
            m_retryMs = kFirstRetryMs;
            bringForward(best);
        }
        if (own && !m_asked)
            stop();
    }

    // A compositor may pass over a request for a window it has not shown
    // yet (sway does for XWayland's). Until the window asked for is the
    // active one, the request is made again now and then, as long as the
    // user is still with us; once it is active, or has been flagged
    // instead, looking ends with the task's own window.
    void confirm()
    {
        if (!m_asked)
            return;
        if (activeWindow() == m_asked) {
            m_asked = XCB_WINDOW_NONE;
            m_retry->stop();
            if (m_shownIsOwn)
                stop();
            return;
        }
        m_retryMs = std::min(m_retryMs * 2, kLastRetryMs);
        bringForward(m_asked);
        if (!m_asked && m_shownIsOwn)
            stop();
    }

    xcb_window_t activeWindow()
    {
        const std::vector<xcb_window_t> active = rootWindows(ActiveWindow, 1);
        return active.empty() ? xcb_window_t(XCB_WINDOW_NONE) : active.front();
    }

    void sendToRoot(xcb_window_t window, Atom type, std::array<uint32_t, 5> data)
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = m_server.atoms[type];
        std::copy(data.begin(), data.end(), message.data.data32);
        constexpr uint32_t kToWindowManager = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_send_event(m_server.c, 0, m_server.root, kToWindowManager, reinterpret_cast<const char *>(&message));
    }

    // Activation only while the user is still with the front end (or already
    // with the task): whoever switched to another program meanwhile keeps it,
    // and the taskbar flags the emulator instead.
    //
    // The request goes out as a pager's (source indication 2) with the time
    // of the Run press. That is what it is in this case: the user asked for
    // the emulator with that press and has done nothing else since, just as
    // a click on a taskbar entry asks for a window. An application's request
    // (indication 1) would meet the window manager's focus-stealing
    // prevention, which exists for windows the user did not ask for.
    void bringForward(xcb_window_t window)
    {
        const xcb_window_t active = activeWindow();
        const auto &own = m_request.ownWindows;
        const auto kin = m_kin.find(active);
        const bool noneActive = active == XCB_WINDOW_NONE;
        const bool userStillHere = (noneActive && (!m_request.frontEndOnWayland || m_focused->load()))
                                   || std::find(own.begin(), own.end(), active) != own.end()
                                   || (kin != m_kin.end() && kin->second != Kin::Stranger);
        if (userStillHere) {
            sendToRoot(window, ActiveWindow, {2, m_request.pressTime, 0, 0, 0});
            m_asked = window;
            m_retry->start(m_retryMs);
        } else {
            sendToRoot(window, WmState, {1, m_server.atoms[DemandsAttention], 0, 1, 0}); // 1: add
            m_asked = XCB_WINDOW_NONE;
            m_retry->stop();
        }
        xcb_flush(m_server.c);
    }

    const std::shared_ptr<std::atomic<bool>> m_focused; // set by the user-interface thread
    Server m_server; // our connection, and what we know of its display
    EndLine m_line;
    QByteArray m_display;
    const QByteArray m_host = thisHost();
    QSocketNotifier *m_notifier = nullptr;

    X11Request m_request;
    bool m_looking = false;
    QTimer *m_giveUp;
    QTimer *m_waitForServer;
    std::unordered_map<xcb_window_t, Kin> m_kin;
    xcb_window_t m_shown = XCB_WINDOW_NONE; // the window brought forward last
    bool m_shownIsOwn = false;              // and whether it is the task's own
    xcb_window_t m_asked = XCB_WINDOW_NONE; // asked to be activated, not active yet
    QTimer *m_retry;
    int m_retryMs = kFirstRetryMs;
};

X11Activation::X11Activation() : m_thread(new QThread), m_worker(new X11Worker(m_focused))
{
    m_thread->setObjectName(QStringLiteral("X11 activation"));
    m_worker->moveToThread(m_thread);
    m_thread->start();
}

X11Activation::~X11Activation()
{
    m_worker->end();
    QMetaObject::invokeMethod(m_worker, &X11Worker::finish, Qt::QueuedConnection);
    if (!m_thread->wait(QDeadlineTimer(kEndWaitMs)))
        return; // still connecting to a display elsewhere: both are left to end with the process
    delete m_worker;
    delete m_thread;
}

void X11Activation::activate(X11Request request)
{
    if (request.task <= 1)
        return;
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, request = std::move(request)]() mutable { worker->start(std::move(request)); },
        Qt::QueuedConnection);
}

bool xServerStarted(const QByteArray &display, const QByteArray &socketTable)
{
    // ":N", ":N.S" or "unix:N": a local server, whose clients' sockets carry
    // its name once it has taken them. Any other (TCP, a path) counts as
    // started: there is no telling.
    const qsizetype colon = display.lastIndexOf(':');
    const QByteArray host = display.left(std::max<qsizetype>(colon, 0));
    QByteArray number = display.mid(colon + 1);
    number.truncate(number.indexOf('.') < 0 ? number.size() : number.indexOf('.'));
    bool numeric = false;
    number.toUInt(&numeric);
    if (colon < 0 || !numeric || !(host.isEmpty() || host == "unix") || socketTable.isEmpty())
        return true;
    const QByteArray path = "/tmp/.X11-unix/X" + number;
    // Num RefCount Protocol Flags Type St Inode Path; state 03 is connected.
    for (const QByteArray &line : socketTable.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 8 && fields.at(5) == "03" && (fields.at(7) == path || fields.at(7) == '@' + path))
            return true;
    }
    return false;
}

} // namespace desktop
