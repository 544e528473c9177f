#include "platform/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>

#include "platform/UniqueFd.h"

extern char** environ;

namespace {

constexpr std::size_t kMaxOutput = 1 << 20;  // a chatty program cannot fill memory

bool Spawn(const std::vector<std::string>& argv, int outputFd, pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const int rc = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return rc == 0;
}

// Reads until the end of output or the deadline; false on the deadline.
bool ReadAll(int fd, std::chrono::steady_clock::time_point deadline, std::string& output) {
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return ready == 0 ? false : true;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        if (output.size() < kMaxOutput) output.append(buffer, static_cast<std::size_t>(got));
    }
}

// Waits for `pid` to end until `deadline`, then kills it: a program may close its output
// and go on running. False when it had to be killed. `exitStatus` is its exit status, -1
// when a signal ended it.
bool WaitForEnd(pid_t pid, std::chrono::steady_clock::time_point deadline, int& exitStatus) {
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(pid, &status, WNOHANG)) != pid) {
        if (done < 0 && errno != EINTR) break;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const bool ended = done == pid;
    if (!ended) {
        ::kill(pid, SIGKILL);
        while ((done = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
        }
    }
    exitStatus = done == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ended;
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    ProgramResult result;
    int pipeFds[2];
    if (argv.empty() || ::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);
    pid_t pid = -1;
    result.started = Spawn(argv, writeEnd.Get(), pid);
    // Only the child may hold the write end, or the read below never sees the output end.
    writeEnd.Reset();
    if (!result.started) return result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const bool outputEnded = ReadAll(readEnd.Get(), deadline, result.output);
    readEnd.Reset();
    const bool ended = WaitForEnd(pid, deadline, result.exitStatus);
    result.timedOut = !outputEnded || !ended;
    return result;
}
