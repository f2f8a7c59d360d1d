#pragma once
// Ends the program once the window's first frame is on the screen, so that a
// process's wall time is what a user waits for before seeing the window.

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <functional>

namespace bench {

class ExitAfterFirstPaint final : public QObject {
public:
    // `ready` narrows "first" to the first frame painted once it holds.
    explicit ExitAfterFirstPaint(QWidget *window, std::function<bool()> ready = {})
        : QObject(window), m_window(window), m_ready(std::move(ready))
    {
        QApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_painted && event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->window() == m_window && (!m_ready || m_ready())) {
            m_painted = true;
            // The whole frame is painted and flushed within the one repaint
            // that delivers this event; a queued quit runs after it.
            QMetaObject::invokeMethod(QApplication::instance(), &QCoreApplication::quit,
                                      Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget *m_window;
    std::function<bool()> m_ready;
    bool m_painted = false;
};

} // namespace bench
