// What this process tells the service manager that started it (systemd's notify
// protocol): ready, stopping, a status line, and that its main loop is alive. Without a
// service manager (NOTIFY_SOCKET unset) every call does nothing.
#pragma once

#include <chrono>
#include <string>

namespace service_manager {

// Whether a service manager listens (NOTIFY_SOCKET is set).
bool Present();
void NotifyReady();
void NotifyStopping();
// A reload begins (with the monotonic time the manager asks for); NotifyReady ends it.
void NotifyReloading();
// One line that `systemctl status` shows.
void NotifyStatus(const std::string& text);
void NotifyAlive();
// How often the manager expects NotifyAlive; zero when it expects nothing.
std::chrono::microseconds WatchdogInterval();
// Whether standard output is the journal's stream: JOURNAL_STREAM names its device and
// inode, and they are those of descriptor 1 (a redirected output inherits the variable,
// so the variable alone is not enough).
bool StandardOutputIsJournal();

}  // namespace service_manager
