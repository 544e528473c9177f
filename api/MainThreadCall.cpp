#include <condition_variable>
#include <memory>
#include <mutex>

#include "api/ApiLimits.h"
#include "api/ApiTypes.h"
#include "platform/EventLoop.h"
#include "server/FtpServer.h"

namespace {

// Shared by the waiting request and the task on the main loop, which may outlive the wait.
struct MainThreadCall {
    std::mutex lock;
    std::condition_variable changed;
    bool abandoned = false;  // the waiter gave up before the task began: it must not run
    bool started = false;
    bool done = false;
    ApiResponse answer;
};

bool Stopping(const ApiContext& context) {
    return context.stopping != nullptr && context.stopping->load();
}

ApiResponse Busy() {
    return ApiError(503, "the server's main thread did not take the request in time");
}

}  // namespace

ApiResponse RunOnMainThread(ApiContext& context, std::function<ApiResponse()> operation) {
    EventLoop* loop = context.server.MainLoop();
    if (loop == nullptr) return Busy();
    auto call = std::make_shared<MainThreadCall>();
    loop->PostTask([call, operation = std::move(operation)] {
        {
            std::lock_guard lock(call->lock);
            if (call->abandoned) return;
            call->started = true;
        }
        ApiResponse answer = operation();
        std::lock_guard lock(call->lock);
        call->answer = std::move(answer);
        call->done = true;
        call->changed.notify_all();
    });
    std::unique_lock lock(call->lock);
    const auto startBy = std::chrono::steady_clock::now() + kApiMainThreadStartWait;
    const auto doneBy = startBy + kApiMainThreadRunWait;
    while (!call->done) {
        const auto now = std::chrono::steady_clock::now();
        const bool late = call->started ? now >= doneBy : now >= startBy;
        if (late || (!call->started && Stopping(context))) {
            if (!call->started) call->abandoned = true;
            return call->started ? ApiError(504, "the operation is still running") : Busy();
        }
        call->changed.wait_for(lock, std::chrono::milliseconds(100));
    }
    return std::move(call->answer);
}
