#pragma once
// Bringing the started emulator's window to the front: one Activator, owned
// by the main window, over one piece per display system, chosen by what the
// front end itself runs on.

#include <QByteArray>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace desktop {

class Activator final : public QObject {
    Q_OBJECT
public:
    explicit Activator(QObject *parent = nullptr);
    ~Activator() override;

    // Asked for on the Run press, before the task starts: a startup token
    // from the desktop, where it hands them out (a Wayland compositor), so
    // that the task can bring its own window forward. Waits on the front
    // end's own display for about 100 ms at the most; empty without one.
    QByteArray startupToken();

    // Best effort: brings the window of the task (or of a process it
    // started) to the front once it appears, looking for it for a while, but
    // never over a program the user has turned to since. `pressTime` is the
    // time the input event of the Run press carried (0: none). Never waits
    // on a display server and never reports; a later call replaces an earlier
    // one still looking. `processes`, where the launcher keeps such a list,
    // gives the ids of the task's processes at the time of asking: on
    // Windows only they are the ones whose windows count.
    void activateTask(double taskId, quint64 pressTime, std::function<std::vector<quint32>()> processes = {});

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace desktop
