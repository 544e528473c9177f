#include "server/AdminChannel.h"

#include <limits>
#include <sstream>
#include <string_view>
#include <system_error>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Socket.h"
#include "platform/Text.h"
#include "platform/UnixSocket.h"
#include "server/AdminOperations.h"
#include "server/FtpServer.h"
#include "server/Limits.h"

namespace {

// A field shown between tabs: no tab, line break or terminal control of a client's
// choosing gets in.
std::string Field(std::string_view text) { return ReplaceControlCharacters(text); }

// The form in which the login guard keeps `address` ("::ffff:10.0.0.1" is "10.0.0.1",
// "0:0::1" is "::1"); anything else as given, to be refused as unknown.
std::string CanonicalAddress(const std::string& address) {
    std::string canonical;
    for (const AddressFamily family : {AddressFamily::V4, AddressFamily::V6})
        if (CanonicalAddressText(family, address, canonical)) return canonical;
    return address;
}

std::string ListSessions(CFtpServer& server) {
    const std::int64_t now = NowSeconds();
    std::ostringstream out;
    out << "OK\n";
    for (const SessionInfo& s : server.Sessions().Snapshot())
        out << s.id << '\t' << s.address << '\t' << Field(s.user) << '\t' << (now - s.lastCommand)
            << '\t' << Field(s.directory) << '\n';
    return out.str();
}

std::string ListBans(CFtpServer& server) {
    const std::int64_t now = server.LoginGuard().Now();
    std::ostringstream out;
    out << "OK\n";
    for (const BanEntry& ban : server.LoginGuard().Bans())
        out << ban.address << '\t' << (ban.until - now) << '\t'
            << FormatLocalTime(ban.until, "%Y-%m-%d %H:%M:%S") << '\t' << ban.offences << '\n';
    return out.str();
}

// A session id read digit by digit may take one more digit while it is at most this:
// beyond it the next digit could pass the 32-bit id.
constexpr std::uint32_t kIdBeforeLastDigit = (std::numeric_limits<std::uint32_t>::max() - 9) / 10;

std::string KickSession(CFtpServer& server, std::string_view idText) {
    std::uint32_t id = 0;
    for (const char c : idText) {
        if (c < '0' || c > '9' || id > kIdBeforeLastDigit) return "ERR not a session id\n";
        id = id * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (idText.empty() || !CAdminOperations(server, AdminOrigin::ControlSocket).Kick(id))
        return "ERR no session " + Field(idText) + "\n";
    return "OK\n";
}

std::string LiftBan(CFtpServer& server, const std::string& given) {
    const std::string address = CanonicalAddress(given);
    if (!CAdminOperations(server, AdminOrigin::ControlSocket).LiftBan(address))
        return "ERR no ban of " + Field(given) + "\n";
    return "OK\n";
}

}  // namespace

std::string AnswerAdminRequest(CFtpServer& server, const std::string& request) {
    std::string_view line(request);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line == "sessions") return ListSessions(server);
    if (line == "ban list") return ListBans(server);
    if (line.rfind("kick ", 0) == 0) return KickSession(server, line.substr(5));
    if (line.rfind("ban del ", 0) == 0) return LiftBan(server, std::string(line.substr(8)));
    return "ERR unknown request\n";
}

bool CAdminChannel::Open(const std::string& path, std::string& error) {
    Close();
    if (!OpenUnixListener(path, m_listener, error)) return false;
    m_path = path;
    m_stopping = false;
    try {
        m_thread = std::thread([this] { Serve(); });
    } catch (const std::system_error& e) {
        // Out of threads: the server runs on without the channel.
        error = e.what();
        m_listener.Reset();
        (void)RemoveFileIfPresent(m_path);
        return false;
    }
    return true;
}

void CAdminChannel::Close() {
    if (!m_thread.joinable()) return;
    m_stopping = true;
    m_thread.join();
    m_listener.Reset();
    (void)RemoveFileIfPresent(m_path);
}

void CAdminChannel::Serve() {
    while (!m_stopping) {
        UniqueFd client = AcceptUnixWithin(m_listener.Get(), kAdminPollMs);
        if (client) AnswerOne(client.Get());
    }
}

void CAdminChannel::AnswerOne(int fd) {
    // SECURITY: the file mode keeps others out; the peer's user is checked as well.
    if (!PeerIsSameUser(fd)) return;
    std::string request;
    if (!ReadLineWithin(fd, request, kAdminRequestBytes, kAdminWaitMs)) return;
    (void)WriteAllWithin(fd, AnswerAdminRequest(m_server, request), kAdminWaitMs);
}
