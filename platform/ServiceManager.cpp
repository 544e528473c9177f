#include "platform/ServiceManager.h"

#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace service_manager {

namespace {

// NOTIFY_SOCKET and WATCHDOG_USEC stay set (unset_environment 0): later messages and the
// watchdog interval need them.
void Send(const std::string& state) { (void)sd_notify(0, state.c_str()); }

}  // namespace

bool Present() {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    return socket != nullptr && *socket != '\0';
}

void NotifyReady() { Send("READY=1"); }

void NotifyStopping() { Send("STOPPING=1"); }

void NotifyReloading() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const auto usec = static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
                      static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
    Send("RELOADING=1\nMONOTONIC_USEC=" + std::to_string(usec));
}

void NotifyStatus(const std::string& text) {
    // A line break would end the field and start another assignment.
    std::string line;
    for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
    Send("STATUS=" + line);
}

void NotifyAlive() { Send("WATCHDOG=1"); }

std::chrono::microseconds WatchdogInterval() {
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0) return std::chrono::microseconds{0};
    return std::chrono::microseconds{usec};
}

bool StandardOutputIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (stream == nullptr) return false;
    std::uintmax_t device = 0;
    std::uintmax_t inode = 0;
    int consumed = 0;
    if (std::sscanf(stream, "%" SCNuMAX ":%" SCNuMAX "%n", &device, &inode, &consumed) != 2 ||
        stream[consumed] != '\0')
        return false;
    struct stat output {};
    if (::fstat(STDOUT_FILENO, &output) != 0) return false;
    return static_cast<std::uintmax_t>(output.st_dev) == device &&
           static_cast<std::uintmax_t>(output.st_ino) == inode;
}

}  // namespace service_manager
