#include "fuzz/HarnessSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

constexpr int kAttempts = 50;
constexpr auto kPause = std::chrono::milliseconds(20);  // 50 attempts: about a second
constexpr std::uint32_t kSourceAddresses = 64;

// Runs `attempt` until it succeeds or the attempts are spent; errno stays the last one's.
template <typename Attempt>
bool Retry(Attempt attempt) {
    for (int i = 0; i < kAttempts; ++i) {
        if (attempt()) return true;
        const int error = errno;
        std::this_thread::sleep_for(kPause);
        errno = error;
    }
    return false;
}

std::string MakeDirIn(const std::filesystem::path& parent, const std::string& prefix) {
    std::string pattern = (parent / (prefix + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

sockaddr_in Loopback(std::uint32_t host, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(host);
    return address;
}

UniqueFd ConnectFrom(std::uint32_t source, std::uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return fd;
    const int one = 1;
    // The port is chosen at connect, for the whole address pair, not at bind.
    (void)::setsockopt(fd.Get(), IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof one);
    const sockaddr_in from = Loopback(source, 0);
    const sockaddr_in to = Loopback(INADDR_LOOPBACK, port);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        const int error = errno;
        fd.Reset();
        errno = error;
        return fd;
    }
    (void)::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace

int SkipInput(const char* what) { return SkipInput(what, std::strerror(errno)); }

int SkipInput(const char* what, const std::string& reason) {
    std::fprintf(stderr, "fuzz harness: %s failed (%s); input skipped\n", what, reason.c_str());
    return kInputSkipped;
}

std::string MakeScratchDir(const std::string& prefix) {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error)) {
        std::string made = MakeDirIn("/dev/shm", prefix);
        if (!made.empty()) return made;
    }
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    return error ? std::string() : MakeDirIn(temp, prefix);
}

bool MakeSocketPair(UniqueFd& first, UniqueFd& second) {
    int pair[2];
    if (!Retry([&] { return ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0; }))
        return false;
    first.Reset(pair[0]);
    second.Reset(pair[1]);
    return true;
}

UniqueFd ConnectLoopback(std::uint16_t port) {
    static std::uint32_t next = 0;
    UniqueFd fd;
    (void)Retry([&] {
        fd = ConnectFrom(INADDR_LOOPBACK + next++ % kSourceAddresses, port);
        return static_cast<bool>(fd);
    });
    return fd;
}
