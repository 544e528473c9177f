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
    std::function<void()> onStop;
    std::function<void()> onReload;

    ~Watcher() override {
        if (loop != nullptr) loop->Unwatch(fd.Get());
    }
    // Several signals waiting at once are one stop, or one reload: each call reads
    // every file anew.
    void OnFdReady(short) override {
        bool stop = false, reload = false;
        signalfd_siginfo info;
        while (::read(fd.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            (info.ssi_signo == SIGHUP ? reload : stop) = true;
        if (reload && onReload) onReload();
        if (stop) onStop();
    }
};

namespace {
sigset_t SignalSet(bool withReload) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (withReload) sigaddset(&set, SIGHUP);
    return set;
}
}  // namespace

CStopSignals::CStopSignals(bool withReload) : m_withReload(withReload) {
    sigset_t set = SignalSet(withReload);
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A client that vanishes mid-send must not kill the process.
    ::signal(SIGPIPE, SIG_IGN);
}

CStopSignals::~CStopSignals() = default;

bool CStopSignals::Watch(EventLoop& loop, std::function<void()> onStop,
                         std::function<void()> onReload) {
    sigset_t set = SignalSet(m_withReload);
    auto watcher = std::make_unique<Watcher>();
    watcher->fd.Reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!watcher->fd) return false;
    watcher->loop = &loop;
    watcher->onStop = std::move(onStop);
    watcher->onReload = std::move(onReload);
    loop.Watch(watcher->fd.Get(), POLLIN, watcher.get());
    m_watcher = std::move(watcher);
    return true;
}
