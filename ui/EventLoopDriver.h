// Drives the main thread's EventLoop from Qt's event loop: a socket notifier on its
// wake-up descriptor, one on every descriptor it watches (the listening socket, the
// stop signals), and a timer for its own timers. Each wake runs one non-blocking pass.
#pragma once

#include <QObject>
#include <QTimer>
#include <map>

class EventLoop;
class QSocketNotifier;
struct WatchInterest;

class CEventLoopDriver : public QObject {
    Q_OBJECT
public:
    // `loop` belongs to the calling (Qt main) thread and outlives this object.
    explicit CEventLoopDriver(EventLoop& loop, QObject* parent = nullptr);
    ~CEventLoopDriver() override;

    // Runs one pass of the loop now and re-arms the timer. Main thread.
    void Pump();

private:
    struct Notifiers {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    void OnWatchChanged(int fd, WatchInterest interest);
    QSocketNotifier* MakeNotifier(int fd, int type);
    static void Drop(QSocketNotifier*& notifier);

    EventLoop& m_loop;
    QSocketNotifier* m_wakeNotifier = nullptr;
    std::map<int, Notifiers> m_notifiers;
    QTimer m_timer;
};
