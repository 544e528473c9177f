// One certificate order from an ACME CA (RFC 8555), answered with the HTTP-01 challenge:
// directory, nonce, account (made or found by its key), order, authorizations and their
// challenges, finalize with a CSR for a new P-256 key, and the certificate chain.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

class CEcKey;
class CChallengeListener;

struct AcmeSettings {
    std::string directoryUrl;
    std::string caFile;  // PEM roots for the CA's HTTPS; empty: the system's
    std::string email;   // the account's contact; empty: none
    std::vector<std::string> names;
};

struct IssuedCertificate {
    std::string chainPem;  // the certificate, then its issuers
    std::string keyPem;    // its private key (a secret)
};

class CAcmeClient {
public:
    // `cancel` becoming true ends a running Issue within about a second (a failure).
    CAcmeClient(AcmeSettings settings, const CEcKey& accountKey, CChallengeListener& listener,
                const std::atomic<bool>& cancel);
    ~CAcmeClient();
    CAcmeClient(const CAcmeClient&) = delete;
    CAcmeClient& operator=(const CAcmeClient&) = delete;

    // Runs one order to its end on the calling thread. False, and `error` saying at which
    // step and why (the CA's problem detail where it sent one), when no certificate came.
    // The challenge listener is open only during the call.
    [[nodiscard]] bool Issue(IssuedCertificate& issued, std::string& error);

private:
    struct Reply;
    bool FetchDirectory(std::string& error);
    bool Post(const std::string& url, const std::string& payload, Reply& reply, std::string& error,
              const std::string& accept = "");
    bool PostOnce(const std::string& url, const std::string& payload, Reply& reply,
                  std::string& error, const std::string& accept);
    bool FetchNonce(std::string& error);
    bool FindAccount(std::string& error);
    bool PlaceOrder(nlohmann::json& order, std::string& orderUrl, std::string& error);
    bool Authorize(const nlohmann::json& order, std::string& error);
    bool CollectChallenges(const nlohmann::json& order, std::map<std::string, std::string>& tokens,
                           std::vector<std::string>& challengeUrls,
                           std::vector<std::string>& pendingAuthorizations, std::string& error);
    bool WaitWhile(const std::string& url, const std::vector<std::string>& waiting,
                   nlohmann::json& object, std::string& error);
    bool Finalize(const nlohmann::json& order, const std::string& orderUrl,
                  IssuedCertificate& issued, std::string& error);
    bool Pause(std::chrono::milliseconds wait) const;

    AcmeSettings m_settings;
    const CEcKey& m_accountKey;
    CChallengeListener& m_listener;
    const std::atomic<bool>& m_cancel;
    std::string m_newNonceUrl;
    std::string m_newAccountUrl;
    std::string m_newOrderUrl;
    std::string m_nonce;
    std::string m_accountUrl;  // the "kid" of every request after newAccount
    std::chrono::milliseconds m_retryAfter{0};
};

// "<detail> (<type>)" of an RFC 7807 problem document as an ACME CA sends it, with its
// subproblems; the raw status when `body` is none.
std::string ProblemText(const std::string& body, long status);
// True for a name an order may carry: letters, digits, "-" and "." (a leading "*." for a
// wildcard, which HTTP-01 cannot validate, is refused), at most 253 characters.
bool IsOrderableName(const std::string& name);
