// Administration clients as a compiled program, so that what the benchmark charges to
// the API is the server's work and not an interpreter's: POLLERS threads each ask
// GET /api/v1/sessions every PERIOD_MS over the control socket (a new connection each,
// as curl or a script would), and one thread reads GET /api/v1/log?follow=1. Runs until
// its standard input closes, then prints "polls failures log_bytes".
//
//   bench_admin_load SOCKET_PATH [POLLERS] [PERIOD_MS]
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<bool> g_stop{false};
std::atomic<long> g_polls{0};
std::atomic<long> g_failures{0};
std::atomic<long> g_logBytes{0};

int Connect(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads until the server closes or `timeoutMs` passes without data; the bytes read.
long Drain(int fd, int timeoutMs, std::string* head) {
    char buffer[65536];
    long total = 0;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, timeoutMs) > 0) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        if (head != nullptr && head->size() < 16) head->append(buffer, static_cast<std::size_t>(n));
        total += n;
    }
    return total;
}

bool PollOnce(const std::string& path) {
    const int fd = Connect(path);
    if (fd < 0) return false;
    std::string head;
    const bool sent = SendAll(fd,
                              "GET /api/v1/sessions HTTP/1.1\r\nHost: localhost\r\n"
                              "Connection: close\r\n\r\n");
    if (sent) Drain(fd, 10000, &head);
    close(fd);
    return head.rfind("HTTP/1.1 200", 0) == 0;
}

void Poller(const std::string& path, std::chrono::milliseconds period) {
    auto next = std::chrono::steady_clock::now();
    while (!g_stop) {
        (PollOnce(path) ? g_polls : g_failures)++;
        next += period;
        std::this_thread::sleep_until(next);
    }
}

void Follower(const std::string& path) {
    const int fd = Connect(path);
    if (fd < 0 || !SendAll(fd, "GET /api/v1/log?follow=1 HTTP/1.1\r\nHost: localhost\r\n\r\n")) {
        g_failures++;
        return;
    }
    char buffer[65536];
    pollfd p{fd, POLLIN, 0};
    while (!g_stop) {
        if (poll(&p, 1, 200) <= 0) continue;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        g_logBytes += n;
    }
    close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_admin_load SOCKET_PATH [POLLERS] [PERIOD_MS]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int pollers = argc > 2 ? std::atoi(argv[2]) : 10;
    const std::chrono::milliseconds period(argc > 3 ? std::atoi(argv[3]) : 100);
    std::vector<std::thread> threads;
    for (int i = 0; i < pollers; ++i) threads.emplace_back(Poller, path, period);
    threads.emplace_back(Follower, path);
    char ignored[256];
    while (read(STDIN_FILENO, ignored, sizeof ignored) > 0) {
    }
    g_stop = true;
    for (std::thread& t : threads) t.join();
    std::printf("%ld %ld %ld\n", g_polls.load(), g_failures.load(), g_logBytes.load());
    return 0;
}
