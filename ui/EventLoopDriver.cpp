#include "ui/EventLoopDriver.h"

#include <QSocketNotifier>
#include <chrono>

#include "platform/EventLoop.h"

namespace {
// The loop's timers are looked at least this often, so a timer added outside a pass
// (the statistics timer, when the server starts) is late by at most this much.
constexpr std::chrono::milliseconds kLongestSleep{500};
}  // namespace

CEventLoopDriver::CEventLoopDriver(EventLoop& loop, QObject* parent)
    : QObject(parent), m_loop(loop) {
    m_wakeNotifier = MakeNotifier(loop.WakeFd(), QSocketNotifier::Read);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CEventLoopDriver::Pump);
    m_loop.SetWatchObserver(
        [this](int fd, WatchInterest interest) { OnWatchChanged(fd, interest); });
    m_timer.start(0);
}

CEventLoopDriver::~CEventLoopDriver() { m_loop.SetWatchObserver(nullptr); }

QSocketNotifier* CEventLoopDriver::MakeNotifier(int fd, int type) {
    auto* notifier = new QSocketNotifier(fd, static_cast<QSocketNotifier::Type>(type), this);
    connect(notifier, &QSocketNotifier::activated, this, &CEventLoopDriver::Pump);
    return notifier;
}

// NOTE: the descriptor may be closed right after it is unwatched, possibly from inside
// this notifier's own signal, so the notifier is switched off now and deleted later.
void CEventLoopDriver::Drop(QSocketNotifier*& notifier) {
    if (notifier == nullptr) return;
    notifier->setEnabled(false);
    notifier->deleteLater();
    notifier = nullptr;
}

void CEventLoopDriver::OnWatchChanged(int fd, WatchInterest interest) {
    Notifiers& entry = m_notifiers[fd];
    Drop(entry.read);
    Drop(entry.write);
    if (interest.readable) entry.read = MakeNotifier(fd, QSocketNotifier::Read);
    if (interest.writable) entry.write = MakeNotifier(fd, QSocketNotifier::Write);
    if (!interest.readable && !interest.writable) m_notifiers.erase(fd);
}

void CEventLoopDriver::Pump() {
    m_loop.RunOnce(std::chrono::milliseconds(0));
    m_timer.start(static_cast<int>(m_loop.NextPassDelay(kLongestSleep).count()));
}
