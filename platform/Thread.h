// Threads that start suspended and run an EventLoop, addressed by a process-unique id
// (the session id of a connection thread).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/EventLoop.h"
#include "platform/UniqueFd.h"

class CThread {
public:
    CThread();
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Creates the OS thread in the suspended state: nothing of it runs until
    // ResumeThread. Returns false, with CreateError saying why, when the OS refuses a
    // thread or the descriptor its loop needs; the object then never runs. Any thread.
    [[nodiscard]] bool CreateThread();
    // The errno value of the last failed CreateThread.
    int CreateError() const { return m_createError; }
    // Lets a created thread run InitInstance, its loop and ExitInstance. Any thread.
    void ResumeThread();
    // Unique for the life of the process; never reused. Valid after construction.
    std::uint32_t ThreadId() const { return m_threadId; }
    // `loop` gets an empty task posted when this thread has ended, so that a waiter
    // inside that loop looks at IsThreadAlive again. Call before ResumeThread.
    void SetEndObserver(EventLoop* loop) { m_endObserver = loop; }

    // Posts `message` to the loop of the running thread `threadId`. False when no such
    // thread runs (it ended, or never existed). Any thread.
    static bool PostThreadMessage(std::uint32_t threadId, const Message& message);
    // True from CreateThread until the thread's last step. Any thread.
    static bool IsThreadAlive(std::uint32_t threadId);
    // Number of CThreads alive in the process. Any thread.
    static std::size_t AliveCount();

protected:
    // Runs first on the new thread. Returning false skips the loop.
    virtual bool InitInstance() = 0;
    // Runs on the new thread after the loop has ended.
    virtual void ExitInstance() {}
    // The running thread's loop; only valid on that thread between start and end.
    EventLoop& Loop() { return *m_loop; }

private:
    static void* ThreadMain(void* self);
    void Body();

    struct StartGate;
    const std::uint32_t m_threadId;
    std::unique_ptr<StartGate> m_gate;
    UniqueFd m_wakeFd;  // made by CreateThread, handed to the loop in Body
    int m_createError = 0;
    EventLoop* m_loop = nullptr;
    EventLoop* m_endObserver = nullptr;
};
