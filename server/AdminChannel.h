// The administrator's control channel of a running server: a local socket in the program
// directory, owner-only, one request line per connection, answered and closed. The
// answer's first line is "OK" or "ERR <reason>"; data lines follow, fields split by tabs.
//
//   sessions          one line per session: id, address, user, idle seconds, directory
//   kick ID           ends session ID without a reply
//   ban list          one line per ban: address, seconds left, end (local time), offences
//   ban del ADDRESS   lifts the ban of ADDRESS
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "platform/UniqueFd.h"

class CFtpServer;

// The socket file's name in the program directory.
inline constexpr char kAdminSocketName[] = "tarvona.sock";

// The answer to one request line. Any thread: it uses only the controller's thread-safe
// parts (session registry, login guard) and the administrator's operations that are safe
// from any thread (CAdminOperations::Kick and LiftBan, which log them).
std::string AnswerAdminRequest(CFtpServer& server, const std::string& request);

class CAdminChannel {
public:
    explicit CAdminChannel(CFtpServer& server) : m_server(server) {}
    ~CAdminChannel() { Close(); }
    CAdminChannel(const CAdminChannel&) = delete;
    CAdminChannel& operator=(const CAdminChannel&) = delete;

    // Listens on `path` and answers requests on a thread of its own. False with the
    // reason in `error` when the socket cannot be made.
    [[nodiscard]] bool Open(const std::string& path, std::string& error);
    // Stops answering and removes the socket file. Waits for the thread (at most one
    // request's bounded time).
    void Close();

private:
    void Serve();
    void AnswerOne(int fd);

    CFtpServer& m_server;
    std::string m_path;
    UniqueFd m_listener;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
