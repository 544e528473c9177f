#include "platform/Thread.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

#include "platform/TlsContext.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kThreadStackSize = 0;  // the sanitizers need the default stack
#else
// Connection threads are shallow; a small stack keeps a thousand sessions cheap.
constexpr std::size_t kThreadStackSize = 256 * 1024;
#endif

std::atomic<std::uint32_t> g_nextThreadId{1000};

// Live threads by id. The loop pointer is set while the loop can take posts.
class ThreadRegistry {
public:
    void Add(std::uint32_t id) {
        std::lock_guard lock(m_lock);
        m_threads[id] = nullptr;
    }
    void SetLoop(std::uint32_t id, EventLoop* loop) {
        std::lock_guard lock(m_lock);
        m_threads[id] = loop;
    }
    void Remove(std::uint32_t id) {
        std::lock_guard lock(m_lock);
        m_threads.erase(id);
    }
    // Removes `id` and wakes `observer` (may be null) under one lock: whoever sees the
    // thread gone may destroy the observer's loop at once, so the wake-up must be done
    // by then.
    void RemoveAndNotify(std::uint32_t id, EventLoop* observer) {
        std::lock_guard lock(m_lock);
        m_threads.erase(id);
        if (observer != nullptr) observer->PostTask([] {});
    }
    bool Post(std::uint32_t id, const Message& message) {
        std::lock_guard lock(m_lock);  // held so the loop cannot go away meanwhile
        auto it = m_threads.find(id);
        if (it == m_threads.end() || it->second == nullptr) return false;
        it->second->Post(message);
        return true;
    }
    bool Contains(std::uint32_t id) {
        std::lock_guard lock(m_lock);
        return m_threads.count(id) != 0;
    }
    std::size_t Size() {
        std::lock_guard lock(m_lock);
        return m_threads.size();
    }

private:
    std::mutex m_lock;                                        // guards m_threads
    std::unordered_map<std::uint32_t, EventLoop*> m_threads;  // guarded by m_lock
};

ThreadRegistry& Registry() {
    static ThreadRegistry registry;
    return registry;
}

}  // namespace

struct CThread::StartGate {
    std::mutex lock;
    std::condition_variable opened;
    bool open = false;  // guarded by lock

    void Open() {
        std::lock_guard guard(lock);
        open = true;
        opened.notify_all();
    }
    void Wait() {
        std::unique_lock guard(lock);
        opened.wait(guard, [this] { return open; });
    }
};

CThread::CThread() : m_threadId(g_nextThreadId++), m_gate(std::make_unique<StartGate>()) {}

CThread::~CThread() = default;

bool CThread::CreateThread() {
    // The loop's descriptor is made here, not on the new thread, so that running out of
    // descriptors refuses this thread to its creator instead of ending the process.
    m_wakeFd = EventLoop::CreateWakeFd();
    if (!m_wakeFd) {
        m_createError = errno;
        return false;
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (kThreadStackSize != 0) pthread_attr_setstacksize(&attr, kThreadStackSize);
    Registry().Add(m_threadId);
    pthread_t handle;
    const int rc = pthread_create(&handle, &attr, &CThread::ThreadMain, this);
    pthread_attr_destroy(&attr);
    if (rc == 0) return true;
    Registry().Remove(m_threadId);
    m_wakeFd.Reset();
    m_createError = rc;
    return false;
}

void CThread::ResumeThread() { m_gate->Open(); }

void* CThread::ThreadMain(void* self) {
    static_cast<CThread*>(self)->Body();
    return nullptr;
}

void CThread::Body() {
    m_gate->Wait();
    const std::uint32_t id = m_threadId;
    EventLoop* observer = m_endObserver;
    {
        EventLoop loop(std::move(m_wakeFd));
        m_loop = &loop;
        Registry().SetLoop(id, &loop);
        if (InitInstance()) loop.Run();
        ExitInstance();
        Registry().SetLoop(id, nullptr);
        // The one place where a thread object is destroyed: its loop has ended and
        // nothing else refers to it. Members must not be touched after this line.
        delete this;
    }
    ReleaseThreadTlsState();
    Registry().RemoveAndNotify(id, observer);
}

bool CThread::PostThreadMessage(std::uint32_t threadId, const Message& message) {
    return Registry().Post(threadId, message);
}

bool CThread::IsThreadAlive(std::uint32_t threadId) { return Registry().Contains(threadId); }

std::size_t CThread::AliveCount() { return Registry().Size(); }
