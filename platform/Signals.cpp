#include "platform/Signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "platform/EventLoop.h"
#include "platform/UniqueFd.h"

struct CStopSignals::Watcher : IFdWatcher {
    UniqueFd fd;
    EventLoop* loop = nullptr;
    std::function<void()> onSignal;

    ~Watcher() override {
        if (loop != nullptr) loop->Unwatch(fd.Get());
    }
    void OnFdReady(short) override {
        signalfd_siginfo info;
        while (::read(fd.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        onSignal();
    }
};

namespace {
sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
}  // namespace

CStopSignals::CStopSignals() {
    sigset_t set = StopSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A client that vanishes mid-send must not kill the process.
    ::signal(SIGPIPE, SIG_IGN);
}

CStopSignals::~CStopSignals() = default;

bool CStopSignals::Watch(EventLoop& loop, std::function<void()> onSignal) {
    sigset_t set = StopSet();
    auto watcher = std::make_unique<Watcher>();
    watcher->fd.Reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!watcher->fd) return false;
    watcher->loop = &loop;
    watcher->onSignal = std::move(onSignal);
    loop.Watch(watcher->fd.Get(), POLLIN, watcher.get());
    m_watcher = std::move(watcher);
    return true;
}
