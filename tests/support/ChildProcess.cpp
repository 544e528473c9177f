#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        int ignored = 0;
        ::waitpid(m_pid, &ignored, 0);
    }
    if (m_outputFd >= 0) ::close(m_outputFd);
}

namespace {

std::vector<char*> NullTerminated(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const auto& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

bool ChildProcess::Start(const std::vector<std::string>& argv) { return StartWith(argv, environ); }

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment) {
    return StartWith(argv, NullTerminated(environment).data());
}

bool ChildProcess::StartWith(const std::vector<std::string>& argv, char* const* environment) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    // The child starts with no signal blocked, whatever the test's threads block.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> args = NullTerminated(argv);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return false;
    }
    m_pid = pid;
    m_outputFd = pipeFds[0];
    return true;
}

int ChildProcess::Read(std::chrono::steady_clock::time_point deadline) {
    if (m_outputFd < 0) return 0;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{m_outputFd, POLLIN, 0};
        int ready = ::poll(&p, 1, left.count() < 0 ? 0 : static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return -1;
        char chunk[4096];
        ssize_t n = ::read(m_outputFd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(m_outputFd);
            m_outputFd = -1;
            return 0;
        }
        m_output.append(chunk, static_cast<std::size_t>(n));
        return static_cast<int>(n);
    }
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (m_output.find(text) == std::string::npos)
        if (Read(end) <= 0) return false;
    return true;
}

bool ChildProcess::Terminate() { return m_pid > 0 && ::kill(m_pid, SIGTERM) == 0; }

bool ChildProcess::WaitForExit(std::chrono::milliseconds deadline, int& status) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    int got;
    while ((got = Read(end)) > 0) {
    }
    if (got < 0) return false;  // still writing or not ended
    // The output can end before the child does (it closed stdout); the deadline holds
    // for its exit too.
    int raw = 0;
    for (;;) {
        const pid_t done = ::waitpid(m_pid, &raw, WNOHANG);
        if (done == m_pid) break;
        if (done != 0 || std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_pid = -1;
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return true;
}

namespace {

ProgramRun Finish(ChildProcess& child, bool started) {
    ProgramRun run;
    if (started && child.WaitForExit(std::chrono::seconds(30), run.status))
        run.output = child.Output();
    return run;
}

}  // namespace

ProgramRun RunToEnd(const std::vector<std::string>& argv) {
    ChildProcess child;
    return Finish(child, child.Start(argv));
}

ProgramRun RunToEnd(const std::vector<std::string>& argv,
                    const std::vector<std::string>& environment) {
    ChildProcess child;
    return Finish(child, child.Start(argv, environment));
}
