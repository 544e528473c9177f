// The HTTP-01 challenge listener (RFC 8555 section 8.3): answers
// GET /.well-known/acme-challenge/<token> with the key authorization of a token of the
// pending order, 404 for anything else, 400 for what is no HTTP request. Open only while
// an order is pending.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CShortRequestServer;

class CChallengeListener {
public:
    // `addresses`: where to listen (none: every address); `port`: [ACME] HttpPort.
    CChallengeListener(std::vector<std::string> addresses, int port);
    ~CChallengeListener();
    CChallengeListener(const CChallengeListener&) = delete;
    CChallengeListener& operator=(const CChallengeListener&) = delete;

    // Serves `keyAuthorizations` (token -> key authorization) from now on, opening the
    // port if it is closed. False, and `error`, when it cannot be listened on.
    [[nodiscard]] bool Open(const std::map<std::string, std::string>& keyAuthorizations,
                            std::string& error);
    // Closes the port and forgets the tokens.
    void Close();

private:
    std::optional<std::string> Reply(std::string_view request, bool full);

    std::vector<std::string> m_addresses;
    int m_port;
    std::mutex m_lock;  // guards m_tokens (the listener's thread reads them)
    std::map<std::string, std::string> m_tokens;
    std::unique_ptr<CShortRequestServer> m_server;
};

// The reply to the request head `request` received so far (`full`: nothing more will
// come), given the tokens served; nothing while the head is incomplete.
std::optional<std::string> ChallengeReply(std::string_view request, bool full,
                                          const std::map<std::string, std::string>& tokens);
