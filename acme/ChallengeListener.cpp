#include "acme/ChallengeListener.h"

#include "acme/AcmeLimits.h"
#include "acme/Base64Url.h"
#include "platform/ShortRequestServer.h"

namespace {

constexpr std::string_view kChallengePath = "/.well-known/acme-challenge/";

std::string HttpReply(const char* status, const std::string& body) {
    return std::string("HTTP/1.1 ") + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::string_view HeadEnd(std::string_view request) {
    std::size_t end = request.find("\r\n\r\n");
    if (end == std::string_view::npos) end = request.find("\n\n");
    return end == std::string_view::npos ? std::string_view() : request.substr(0, end);
}

}  // namespace

std::optional<std::string> ChallengeReply(std::string_view request, bool full,
                                          const std::map<std::string, std::string>& tokens) {
    const std::string_view head = HeadEnd(request);
    if (head.empty() && !full) return std::nullopt;
    const std::string_view line = head.substr(0, head.find_first_of("\r\n"));
    // "GET <target> HTTP/1.x"; anything else is not a request this listener can read.
    const std::size_t firstSpace = line.find(' ');
    const std::size_t lastSpace = line.rfind(' ');
    if (head.empty() || firstSpace == std::string_view::npos || firstSpace == lastSpace ||
        line.substr(lastSpace + 1).rfind("HTTP/1.", 0) != 0)
        return HttpReply("400 Bad Request", "bad request\n");
    const std::string_view method = line.substr(0, firstSpace);
    const std::string_view target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    if (method != "GET" || target.substr(0, kChallengePath.size()) != kChallengePath)
        return HttpReply("404 Not Found", "not found\n");
    const std::string_view token = target.substr(kChallengePath.size());
    const auto found = IsBase64UrlText(token) ? tokens.find(std::string(token)) : tokens.end();
    if (found == tokens.end()) return HttpReply("404 Not Found", "not found\n");
    return HttpReply("200 OK", found->second);
}

CChallengeListener::CChallengeListener(std::vector<std::string> addresses, int port)
    : m_addresses(std::move(addresses)), m_port(port) {}

CChallengeListener::~CChallengeListener() { Close(); }

bool CChallengeListener::Open(const std::map<std::string, std::string>& keyAuthorizations,
                              std::string& error) {
    {
        std::lock_guard lock(m_lock);
        m_tokens = keyAuthorizations;
    }
    if (m_server && m_server->IsRunning()) return true;
    if (m_port < 1 || m_port > 65535) {
        error = "the HttpPort " + std::to_string(m_port) + " is no port number";
        return false;
    }
    m_server = std::make_unique<CShortRequestServer>(
        [this](std::string_view request, bool full) { return Reply(request, full); },
        kMaxChallengeRequestBytes, kChallengeRequestTime);
    std::string why;
    if (m_server->Start(m_addresses, static_cast<std::uint16_t>(m_port), why)) return true;
    error =
        "cannot listen on the HTTP port " + std::to_string(m_port) + " for the challenge: " + why;
    m_server.reset();
    return false;
}

void CChallengeListener::Close() {
    m_server.reset();  // stops and joins its thread
    std::lock_guard lock(m_lock);
    m_tokens.clear();
}

std::optional<std::string> CChallengeListener::Reply(std::string_view request, bool full) {
    std::lock_guard lock(m_lock);
    return ChallengeReply(request, full, m_tokens);
}
