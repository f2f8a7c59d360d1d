// Bringing the started emulator's window to the front on X11. The window
// appears some time after the start (a cold wine start takes seconds), so it
// is looked for from the event loop every 75 ms, for at most 10 s, and then
// activated the EWMH way. Elsewhere (Wayland, no display) nothing is done.

#include "launch/task.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QInputEvent>
#include <QPointer>
#include <QTimer>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/types.h>
#include <xcb/res.h>
#include <xcb/xcb.h>

namespace launch {

namespace {

constexpr int kPollMs = 75;
constexpr int kGiveUpMs = 10000;

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
ReplyPtr<Reply> owned(Reply *reply)
{
    return ReplyPtr<Reply>(reply, &std::free);
}

// The X server time of the user's latest key or button: the Run press, when
// Run is pressed. Qt's xcb events carry the server's own timestamps.
class InputClock final : public QObject {
public:
    using QObject::QObject;
    xcb_timestamp_t last = XCB_CURRENT_TIME;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            last = xcb_timestamp_t(static_cast<QInputEvent *>(event)->timestamp());
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

class Activation final : public QObject {
public:
    explicit Activation(xcb_connection_t *connection)
        : QObject(QCoreApplication::instance()), m_connection(connection),
          m_root(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root)
    {
        const std::array<const char *, 3> names{"_NET_CLIENT_LIST", "_NET_WM_PID", "_NET_ACTIVE_WINDOW"};
        std::array<xcb_intern_atom_cookie_t, 3> cookies{};
        for (std::size_t i = 0; i < names.size(); ++i)
            cookies[i] = xcb_intern_atom(connection, 0, uint16_t(std::strlen(names[i])), names[i]);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const auto reply = owned(xcb_intern_atom_reply(connection, cookies[i], nullptr));
            m_atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        }
        m_timer.setInterval(kPollMs);
        connect(&m_timer, &QTimer::timeout, this, &Activation::poll);
    }

    // A later start replaces an activation still pending.
    void start(pid_t task)
    {
        m_task = task;
        m_timestamp = inputClock ? inputClock->last : XCB_CURRENT_TIME;
        m_deadline = QDeadlineTimer(kGiveUpMs);
        m_timer.start();
        poll();
    }

private:
    enum Atom { ClientList, WmPid, ActiveWindow };

    void poll()
    {
        if (const xcb_window_t window = taskWindow()) {
            activate(window);
            m_timer.stop();
        } else if (m_deadline.hasExpired()) {
            m_timer.stop(); // the task shows no window: nothing to report
        }
    }

    // The managed top-level windows, from the window manager's list.
    std::vector<xcb_window_t> clientWindows()
    {
        const auto reply = owned(xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 0, m_root, m_atoms[ClientList], XCB_ATOM_WINDOW, 0, 4096), nullptr));
        if (!reply || reply->format != 32)
            return {};
        const auto *windows = static_cast<const xcb_window_t *>(xcb_get_property_value(reply.get()));
        return {windows, windows + xcb_get_property_value_length(reply.get()) / 4};
    }

    // Who made the window: its _NET_WM_PID, else (older toolkits) the X
    // server's own record of the client's pid.
    pid_t ownerOf(xcb_window_t window, xcb_get_property_cookie_t pidCookie)
    {
        if (const auto reply = owned(xcb_get_property_reply(m_connection, pidCookie, nullptr));
            reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) >= 4)
            return pid_t(*static_cast<const uint32_t *>(xcb_get_property_value(reply.get())));
        // Only the pid is asked for, so every value returned is one.
        const xcb_res_client_id_spec_t pidOfWindow{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        const auto ids = owned(xcb_res_query_client_ids_reply(
            m_connection, xcb_res_query_client_ids(m_connection, 1, &pidOfWindow), nullptr));
        if (!ids)
            return 0;
        for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem; xcb_res_client_id_value_next(&it))
            if (xcb_res_client_id_value_value_length(it.data) >= 1)
                return pid_t(*xcb_res_client_id_value_value(it.data));
        return 0;
    }

    // The task itself, or a process it started (a wrapper script's emulator).
    bool isTaskOrDescendant(pid_t pid) const
    {
        for (int depth = 0; pid > 1 && depth < 64; ++depth, pid = parentOf(pid))
            if (pid == m_task)
                return true;
        return false;
    }

    xcb_window_t taskWindow()
    {
        const std::vector<xcb_window_t> windows = clientWindows();
        std::vector<xcb_get_property_cookie_t> pids;
        for (xcb_window_t window : windows)
            pids.push_back(xcb_get_property(m_connection, 0, window, m_atoms[WmPid], XCB_ATOM_CARDINAL, 0, 1));
        xcb_window_t found = XCB_WINDOW_NONE;
        for (std::size_t i = 0; i < windows.size(); ++i) {
            const pid_t owner = ownerOf(windows[i], pids[i]);
            if (!found && owner > 0 && isTaskOrDescendant(owner))
                found = windows[i];
        }
        return found;
    }

    // Sent as a pager would send it (source indication 2), with the time of
    // the user's Run press: the window manager then takes it for the user's
    // own request and does not apply its focus-stealing prevention, which an
    // application's request (indication 1) would be subject to.
    void activate(xcb_window_t window)
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = m_atoms[ActiveWindow];
        message.data.data32[0] = 2;
        message.data.data32[1] = m_timestamp;
        xcb_send_event(m_connection, 0, m_root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&message));
        xcb_flush(m_connection);
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_root;
    std::array<xcb_atom_t, 3> m_atoms{};
    QTimer m_timer;
    QDeadlineTimer m_deadline;
    pid_t m_task = 0;
    xcb_timestamp_t m_timestamp = XCB_CURRENT_TIME;
};

} // namespace

void activateTask(double taskId)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || !(taskId > 1 && taskId < 4194305))
        return;
    static QPointer<Activation> activation;
    if (!activation)
        activation = new Activation(x11->connection());
    activation->start(pid_t(taskId));
}

} // namespace launch
