#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// The time that paces the log's frames, in milliseconds, and a wake-up at a time to come. The
// log's tests hand the view one whose time they move on themselves.
class FrameClock : public QObject {
    Q_OBJECT
public:
    explicit FrameClock(QObject* parent = nullptr);

    // Milliseconds on a clock that never goes back.
    virtual qint64 now() const;
    // Emits due() once the time `at` has come; a later call replaces the wake-up asked before.
    virtual void wakeAt(qint64 at);
    // Drops the wake-up asked for, if any.
    virtual void cancelWake();

signals:
    void due();

private:
    QElapsedTimer m_elapsed;
    QTimer m_timer;
};
