#include "server/HookDispatcher.h"

#include <algorithm>
#include <system_error>

#include "net/HttpRequest.h"
#include "platform/Clock.h"
#include "platform/Hmac.h"
#include "platform/Process.h"
#include "platform/StringFormat.h"
#include "platform/Text.h"

namespace {

constexpr int kUrlAttempts = 3;  // a 5xx reply or a network error is tried again twice
constexpr std::chrono::milliseconds kFirstBackOff{1000};  // doubled for each retry
constexpr std::chrono::milliseconds kMaxConnectTime{10000};
constexpr std::size_t kMaxReplyKept = 64 * 1024;  // the reply is not used; its size is bounded
constexpr std::size_t kMaxOutputShown = 200;      // of a failed program's output, in the log

std::string KeyOf(const HookEvent& event) { return "On" + std::string(HookEventName(event.kind)); }

// The first line a program printed, safe for one log line.
std::string FirstLine(const std::string& output) {
    const std::string line = output.substr(0, output.find('\n'));
    return ReplaceControlCharacters(CutUtf8(line, kMaxOutputShown));
}

std::string Shown(const std::string& text) { return ReplaceControlCharacters(text); }

}  // namespace

CHookDispatcher::CHookDispatcher(LogFunction log)
    : m_log(std::move(log)), m_settings(std::make_shared<const HookSettings>()) {}

CHookDispatcher::~CHookDispatcher() { Shutdown(); }

void CHookDispatcher::Configure(HookSettings settings) {
    std::string failure;
    {
        std::lock_guard lock(m_lock);
        m_settings = std::make_shared<const HookSettings>(std::move(settings));
        if (m_started && !m_shuttingDown) {
            const auto wanted = static_cast<std::size_t>(m_settings->concurrency);
            if (wanted > m_workers.size()) failure = AddWorkersLocked(wanted - m_workers.size());
        }
        m_ready.notify_all();
    }
    if (!failure.empty()) m_log(LogSeverity::Warning, failure);
}

void CHookDispatcher::StartWorkers() {
    std::string failure;
    {
        std::lock_guard lock(m_lock);
        if (m_started || m_shuttingDown) return;
        m_started = true;
        failure = AddWorkersLocked(static_cast<std::size_t>(m_settings->concurrency));
    }
    if (!failure.empty()) m_log(LogSeverity::Warning, failure);
}

std::string CHookDispatcher::AddWorkersLocked(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t index = m_workers.size();
        try {
            m_workers.emplace_back([this, index] { WorkerLoop(index); });
        } catch (const std::system_error& e) {
            // Out of threads: the workers made so far serve the queue; with none, events
            // wait in it until it is full and are then dropped (and counted).
            return StringFormat("Hooks: %zu of %zu workers started (%s).", i, count, e.what());
        }
    }
    return "";
}

bool CHookDispatcher::Post(HookEvent event) {
    event.time = NowSeconds();
    std::size_t queued = 0;
    bool firstOfBurst = false;
    {
        std::lock_guard lock(m_lock);
        if (m_settings->actions[static_cast<std::size_t>(event.kind)].IsEmpty()) return true;
        if (!m_shuttingDown && m_queue.size() < m_settings->queueSize) {
            m_queue.push_back(Job{std::move(event), m_settings});
            // All: one woken beyond the concurrency would go back to sleep with the job.
            m_ready.notify_all();
            return true;
        }
        m_droppedTotal.fetch_add(1);
        // After the shutdown nothing runs any more; the count is all there is to say.
        if (m_shuttingDown) return false;
        queued = m_queue.size();
        firstOfBurst = m_droppedUnlogged++ == 0;
    }
    // One line when dropping starts and one when the queue has room again, however many
    // events a burst drops.
    if (firstOfBurst) LogDrop(event, queued);
    return false;
}

bool CHookDispatcher::HasAction(HookEventKind kind) const {
    std::lock_guard lock(m_lock);
    return !m_settings->actions[static_cast<std::size_t>(kind)].IsEmpty();
}

void CHookDispatcher::LogDrop(const HookEvent& event, std::size_t queued) {
    m_log(LogSeverity::Warning,
          StringFormat("Hook queue full (%zu events waiting): the %s event was dropped.", queued,
                       std::string(HookEventName(event.kind)).c_str()));
}

void CHookDispatcher::LogDropSummary() {
    std::uint64_t dropped = 0;
    {
        std::lock_guard lock(m_lock);
        dropped = m_droppedUnlogged;
        m_droppedUnlogged = 0;
    }
    if (dropped == 0) return;
    m_log(LogSeverity::Warning,
          StringFormat("Hook queue: %llu events were dropped while it was full (%llu since start).",
                       static_cast<unsigned long long>(dropped),
                       static_cast<unsigned long long>(m_droppedTotal.load())));
}

void CHookDispatcher::WorkerLoop(std::size_t index) {
    Job job;
    while (TakeJob(index, job)) {
        LogDropSummary();
        Run(job);
        std::lock_guard lock(m_lock);
        --m_running;
        if (m_queue.empty() && m_running == 0) m_idle.notify_all();
    }
}

bool CHookDispatcher::TakeJob(std::size_t index, Job& job) {
    std::unique_lock lock(m_lock);
    for (;;) {
        const bool allowed = index < static_cast<std::size_t>(m_settings->concurrency);
        if (m_shuttingDown && (m_queue.empty() || !allowed)) return false;
        if (!m_queue.empty() && allowed) break;
        m_ready.wait(lock);
    }
    if (m_shuttingDown && std::chrono::steady_clock::now() >= m_shutdownDeadline) {
        m_droppedTotal.fetch_add(m_queue.size());
        m_queue.clear();
        if (m_running == 0) m_idle.notify_all();
        return false;
    }
    job = std::move(m_queue.front());
    m_queue.pop_front();
    ++m_running;
    return true;
}

void CHookDispatcher::Run(const Job& job) {
    const HookAction& action = job.settings->actions[static_cast<std::size_t>(job.event.kind)];
    if (!action.argv.empty()) RunProgram(job);
    if (!action.url.empty()) PostToUrl(job);
}

void CHookDispatcher::RunProgram(const Job& job) {
    const HookAction& action = job.settings->actions[static_cast<std::size_t>(job.event.kind)];
    const std::string program = Shown(action.argv.front());
    // Runs as the server's own user: the server never changes its identity for a hook.
    const ProgramResult result = ::RunProgram(
        action.argv, std::chrono::duration_cast<std::chrono::milliseconds>(job.settings->timeout),
        HookEnvironment(job.event));
    const std::string key = KeyOf(job.event);
    if (!result.started) {
        m_log(LogSeverity::Error, "Hook " + key + ": " + program + " could not be started.");
    } else if (result.timedOut) {
        m_log(LogSeverity::Warning,
              StringFormat("Hook %s: %s was killed after its time-out of %lld s.", key.c_str(),
                           program.c_str(), static_cast<long long>(job.settings->timeout.count())));
    } else if (result.exitStatus != 0) {
        const std::string how = result.exitStatus < 0
                                    ? std::string("was ended by a signal")
                                    : StringFormat("ended with status %d", result.exitStatus);
        const std::string said = FirstLine(result.output);
        m_log(LogSeverity::Warning,
              "Hook " + key + ": " + program + " " + how + (said.empty() ? "." : ": " + said));
    }
}

void CHookDispatcher::PostToUrl(const Job& job) {
    const HookAction& action = job.settings->actions[static_cast<std::size_t>(job.event.kind)];
    HttpRequest request;
    request.method = "POST";
    request.url = action.url;
    request.body = HookJsonBody(job.event);
    request.headers = {"Content-Type: application/json",
                       "X-Tarvona-Event: " + std::string(HookEventName(job.event.kind))};
    // The signature covers the exact bytes sent, so a receiver checks it before parsing.
    if (!job.settings->secret.empty())
        request.headers.push_back("X-Tarvona-Signature: sha256=" +
                                  HmacSha256Hex(job.settings->secret, request.body));
    request.caFile = job.settings->caFile;
    request.totalTimeout =
        std::chrono::duration_cast<std::chrono::milliseconds>(job.settings->timeout);
    request.connectTimeout = std::min(kMaxConnectTime, request.totalTimeout);
    request.maxReplyBytes = kMaxReplyKept;
    const std::string key = KeyOf(job.event);
    std::chrono::milliseconds backOff = kFirstBackOff;
    for (int attempt = 1;; ++attempt) {
        const HttpReply reply = PerformHttpRequest(request, m_cancel);
        // A 4xx is the receiver's refusal of this event: sending it again changes nothing.
        if (reply.ok && reply.status < 500) {
            if (reply.status >= 300)
                m_log(LogSeverity::Warning, StringFormat("Hook %sUrl: the server answered %ld.",
                                                         key.c_str(), reply.status));
            return;
        }
        const std::string why =
            reply.ok ? StringFormat("the server answered %ld", reply.status) : Shown(reply.error);
        if (attempt == kUrlAttempts || !BackOff(backOff)) {
            m_log(LogSeverity::Warning,
                  StringFormat("Hook %sUrl: not delivered after %d attempts: %s.", key.c_str(),
                               attempt, why.c_str()));
            return;
        }
        backOff *= 2;
    }
}

bool CHookDispatcher::BackOff(std::chrono::milliseconds wait) {
    std::unique_lock lock(m_lock);
    return !m_ready.wait_for(lock, wait, [this] { return m_shuttingDown; });
}

bool CHookDispatcher::WaitUntilIdle(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_lock);
    return m_idle.wait_for(lock, limit, [this] { return m_queue.empty() && m_running == 0; });
}

void CHookDispatcher::Shutdown() {
    std::vector<std::thread> workers;
    {
        std::unique_lock lock(m_lock);
        if (m_shuttingDown) return;
        m_shuttingDown = true;
        m_shutdownDeadline = std::chrono::steady_clock::now() + m_settings->timeout;
        m_ready.notify_all();
        if (m_workers.empty()) {
            m_droppedTotal.fetch_add(m_queue.size());
            m_queue.clear();
        }
        m_idle.wait_until(lock, m_shutdownDeadline,
                          [this] { return m_queue.empty() && m_running == 0; });
        workers.swap(m_workers);
    }
    // What still runs at the deadline: HTTP ends now, a program at its own time-out.
    m_cancel = true;
    m_ready.notify_all();
    for (std::thread& worker : workers) worker.join();
    const std::uint64_t dropped = m_droppedTotal.load();
    if (dropped > 0)
        m_log(LogSeverity::Warning, StringFormat("Hooks: %llu events were dropped since start.",
                                                 static_cast<unsigned long long>(dropped)));
}
