#include "acme/AcmeClient.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <thread>

#include "acme/AcmeLimits.h"
#include "acme/Base64Url.h"
#include "acme/CertificateRequest.h"
#include "acme/ChallengeListener.h"
#include "acme/EcKey.h"
#include "acme/Jws.h"
#include "net/HttpRequest.h"

using nlohmann::json;

namespace {

constexpr std::string_view kErrorPrefix = "urn:ietf:params:acme:error:";

// A member of a CA's JSON as text; empty when it is missing or of another type (the
// CA's replies are read as untrusted input: nothing here throws on them).
std::string TextOf(const json& object, const char* key) {
    if (!object.is_object()) return {};
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// A reference, never a copy: copying a value nested as deep as a hostile reply allows
// would recurse once per level.
const json& MemberOf(const json& object, const char* key) {
    static const json kNone;
    if (!object.is_object()) return kNone;
    const auto found = object.find(key);
    return found != object.end() ? *found : kNone;
}

std::vector<std::string> TextsOf(const json& object, const char* key) {
    std::vector<std::string> texts;
    if (!object.is_object()) return texts;
    const auto found = object.find(key);
    if (found == object.end() || !found->is_array()) return texts;
    for (const json& item : *found)
        if (item.is_string()) texts.push_back(item.get<std::string>());
    return texts;
}

std::string ShortType(std::string type) {
    if (type.rfind(kErrorPrefix, 0) == 0) type.erase(0, kErrorPrefix.size());
    return type;
}

// Subproblems are one level deep (RFC 8555 section 6.7.1); deeper ones from a hostile CA
// are not followed, so the depth of its JSON cannot exhaust the stack.
std::string ProblemOf(const json& problem, bool withSubproblems = true) {
    std::string text = TextOf(problem, "detail");
    const std::string type = ShortType(TextOf(problem, "type"));
    if (!type.empty()) text += (text.empty() ? "" : " ") + ("(" + type + ")");
    const json& sub = MemberOf(problem, "subproblems");
    if (withSubproblems && sub.is_array()) {
        for (const json& item : sub) {
            const std::string name = TextOf(MemberOf(item, "identifier"), "value");
            text += "; " + name + (name.empty() ? "" : ": ") + ProblemOf(item, false);
        }
    }
    return text;
}

// JSON text of the CA's values put into a request; a byte that is not UTF-8 is replaced
// rather than thrown on.
std::string Dump(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::chrono::milliseconds RetryAfterOf(const std::map<std::string, std::string>& headers) {
    const auto found = headers.find("retry-after");
    if (found == headers.end() || found->second.empty() || found->second.size() > 6 ||
        !std::all_of(found->second.begin(), found->second.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; }))
        return std::chrono::milliseconds(0);
    return std::chrono::seconds(std::stoi(found->second));
}

}  // namespace

struct CAcmeClient::Reply {
    long status = 0;
    std::string body;
    std::map<std::string, std::string> headers;
    json object;  // the body parsed, when it is JSON
};

std::string ProblemText(const std::string& body, long status) {
    const json problem = json::parse(body, nullptr, false);
    const std::string text = ProblemOf(problem);
    return (text.empty() ? "no problem document" : text) + ", HTTP status " +
           std::to_string(status);
}

bool IsOrderableName(const std::string& name) {
    return !name.empty() && name.size() <= 253 && name.front() != '.' && name.front() != '-' &&
           name.back() != '.' && name.find("..") == std::string::npos &&
           std::all_of(name.begin(), name.end(), [](unsigned char c) {
               return std::isalnum(c) != 0 || c == '-' || c == '.';
           });
}

CAcmeClient::CAcmeClient(AcmeSettings settings, const CEcKey& accountKey,
                         CChallengeListener& listener, const std::atomic<bool>& cancel)
    : m_settings(std::move(settings)),
      m_accountKey(accountKey),
      m_listener(listener),
      m_cancel(cancel) {}

CAcmeClient::~CAcmeClient() { m_listener.Close(); }

bool CAcmeClient::Issue(IssuedCertificate& issued, std::string& error) {
    if (m_settings.names.empty() || m_settings.names.size() > kMaxOrderNames) {
        error = "between 1 and " + std::to_string(kMaxOrderNames) + " names are needed";
        return false;
    }
    for (const std::string& name : m_settings.names) {
        if (IsOrderableName(name)) continue;
        error = "\"" + name + "\" is not a name a certificate can be ordered for by HTTP-01";
        return false;
    }
    json order;
    std::string orderUrl;
    const bool done = FetchDirectory(error) && FindAccount(error) &&
                      PlaceOrder(order, orderUrl, error) && Authorize(order, error) &&
                      Finalize(order, orderUrl, issued, error);
    m_listener.Close();
    return done;
}

bool CAcmeClient::FetchDirectory(std::string& error) {
    HttpRequest request;
    request.url = m_settings.directoryUrl;
    request.caFile = m_settings.caFile;
    request.connectTimeout = kAcmeConnectTimeout;
    request.totalTimeout = kAcmeRequestTimeout;
    request.maxReplyBytes = kMaxAcmeReplyBytes;
    const HttpReply reply = PerformHttpRequest(request, m_cancel);
    if (!reply.ok) {
        error = "the directory cannot be read: " + reply.error;
        return false;
    }
    const json directory = json::parse(reply.body, nullptr, false);
    m_newNonceUrl = TextOf(directory, "newNonce");
    m_newAccountUrl = TextOf(directory, "newAccount");
    m_newOrderUrl = TextOf(directory, "newOrder");
    if (reply.status != 200 || m_newNonceUrl.empty() || m_newAccountUrl.empty() ||
        m_newOrderUrl.empty()) {
        error = "the directory " + m_settings.directoryUrl + " is no ACME directory (HTTP status " +
                std::to_string(reply.status) + ")";
        return false;
    }
    return true;
}

bool CAcmeClient::FetchNonce(std::string& error) {
    HttpRequest request;
    request.method = "HEAD";
    request.url = m_newNonceUrl;
    request.caFile = m_settings.caFile;
    request.connectTimeout = kAcmeConnectTimeout;
    request.totalTimeout = kAcmeRequestTimeout;
    const HttpReply reply = PerformHttpRequest(request, m_cancel);
    const auto nonce = reply.headers.find("replay-nonce");
    if (!reply.ok || nonce == reply.headers.end() || nonce->second.empty()) {
        error = "no nonce from the CA: " +
                (reply.ok ? "HTTP status " + std::to_string(reply.status) : reply.error);
        return false;
    }
    m_nonce = nonce->second;
    return true;
}

// Every POST goes through here: a refused nonce (badNonce) is answered by sending the
// request again with the fresh nonce that came with the refusal.
bool CAcmeClient::Post(const std::string& url, const std::string& payload, Reply& reply,
                       std::string& error, const std::string& accept) {
    for (int attempt = 0;; ++attempt) {
        if (!PostOnce(url, payload, reply, error, accept)) return false;
        if (reply.status < 400) return true;
        const json problem = json::parse(reply.body, nullptr, false);
        if (ShortType(TextOf(problem, "type")) != "badNonce" || attempt == kBadNonceRetries) {
            error = ProblemText(reply.body, reply.status);
            return false;
        }
    }
}

bool CAcmeClient::PostOnce(const std::string& url, const std::string& payload, Reply& reply,
                           std::string& error, const std::string& accept) {
    if (m_nonce.empty() && !FetchNonce(error)) return false;
    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.caFile = m_settings.caFile;
    request.headers = {"Content-Type: application/jose+json"};
    if (!accept.empty()) request.headers.push_back("Accept: " + accept);
    request.body = SignedRequest(m_accountKey, url, m_nonce, m_accountUrl, payload);
    request.connectTimeout = kAcmeConnectTimeout;
    request.totalTimeout = kAcmeRequestTimeout;
    request.maxReplyBytes = kMaxAcmeReplyBytes;
    m_nonce.clear();  // a nonce is good for one request
    if (request.body.empty()) {
        error = "cannot sign a request with the account key";
        return false;
    }
    HttpReply answer = PerformHttpRequest(request, m_cancel);
    if (!answer.ok) {
        error = answer.error;
        return false;
    }
    const auto nonce = answer.headers.find("replay-nonce");
    if (nonce != answer.headers.end()) m_nonce = nonce->second;
    m_retryAfter = RetryAfterOf(answer.headers);
    reply.status = answer.status;
    reply.object = json::parse(answer.body, nullptr, false);
    reply.body = std::move(answer.body);
    reply.headers = std::move(answer.headers);
    return true;
}

bool CAcmeClient::FindAccount(std::string& error) {
    json account = {{"termsOfServiceAgreed", true}};
    if (!m_settings.email.empty()) account["contact"] = {"mailto:" + m_settings.email};
    Reply reply;
    if (!Post(m_newAccountUrl, Dump(account), reply, error)) {
        error = "the account was refused: " + error;
        return false;
    }
    const auto location = reply.headers.find("location");
    if (location == reply.headers.end() || location->second.empty()) {
        error = "the CA named no account URL";
        return false;
    }
    m_accountUrl = location->second;
    return true;
}

bool CAcmeClient::PlaceOrder(json& order, std::string& orderUrl, std::string& error) {
    json identifiers = json::array();
    for (const std::string& name : m_settings.names)
        identifiers.push_back({{"type", "dns"}, {"value", name}});
    Reply reply;
    if (!Post(m_newOrderUrl, Dump(json{{"identifiers", identifiers}}), reply, error)) {
        error = "the order was refused: " + error;
        return false;
    }
    const auto location = reply.headers.find("location");
    orderUrl = location != reply.headers.end() ? location->second : std::string();
    order = std::move(reply.object);
    if (orderUrl.empty() || TextOf(order, "finalize").empty()) {
        error = "the CA's order has no URL or no finalize URL";
        return false;
    }
    return true;
}

bool CAcmeClient::CollectChallenges(const json& order, std::map<std::string, std::string>& tokens,
                                    std::vector<std::string>& challengeUrls,
                                    std::vector<std::string>& pendingAuthorizations,
                                    std::string& error) {
    const std::vector<std::string> authorizations = TextsOf(order, "authorizations");
    // One per name: a CA's longer list would cost a request each.
    if (authorizations.size() > m_settings.names.size()) {
        error = "the CA's order lists more authorizations than names";
        return false;
    }
    for (const std::string& url : authorizations) {
        Reply reply;
        if (!Post(url, "", reply, error)) {
            error = "the authorization " + url + " cannot be read: " + error;
            return false;
        }
        const std::string status = TextOf(reply.object, "status");
        if (status == "valid") continue;
        const std::string name = TextOf(MemberOf(reply.object, "identifier"), "value");
        const auto challenges =
            reply.object.is_object() ? reply.object.find("challenges") : reply.object.end();
        bool found = false;
        if (challenges != reply.object.end() && challenges->is_array()) {
            for (const json& challenge : *challenges) {
                if (TextOf(challenge, "type") != "http-01") continue;
                const std::string token = TextOf(challenge, "token");
                // SECURITY: the token becomes part of a served path; only base64url is taken.
                if (!IsBase64UrlText(token) || token.size() > 256 ||
                    TextOf(challenge, "url").empty())
                    break;
                tokens[token] = token + "." + m_accountKey.Thumbprint();
                challengeUrls.push_back(TextOf(challenge, "url"));
                found = true;
                break;
            }
        }
        if (!found || status != "pending") {
            error = "the CA offers no usable http-01 challenge for " + name + " (authorization " +
                    status + ")";
            return false;
        }
        pendingAuthorizations.push_back(url);
    }
    return true;
}

bool CAcmeClient::Authorize(const json& order, std::string& error) {
    std::map<std::string, std::string> tokens;
    std::vector<std::string> challengeUrls;
    std::vector<std::string> pending;
    if (!CollectChallenges(order, tokens, challengeUrls, pending, error)) return false;
    if (pending.empty()) return true;  // authorized by an earlier order
    if (!m_listener.Open(tokens, error)) return false;
    for (const std::string& url : challengeUrls) {
        Reply reply;
        if (!Post(url, "{}", reply, error)) {
            error = "the challenge " + url + " was refused: " + error;
            return false;
        }
    }
    for (const std::string& url : pending) {
        json authorization;
        if (!WaitWhile(url, {"pending", "processing"}, authorization, error)) return false;
        if (TextOf(authorization, "status") == "valid") continue;
        // The reason is the failed challenge's error.
        std::string why = "authorization " + TextOf(authorization, "status");
        const auto challenges = authorization.find("challenges");
        if (challenges != authorization.end() && challenges->is_array())
            for (const json& challenge : *challenges)
                if (!MemberOf(challenge, "error").is_null())
                    why = ProblemOf(MemberOf(challenge, "error"));
        error = "the CA could not validate " +
                TextOf(MemberOf(authorization, "identifier"), "value") + ": " + why;
        return false;
    }
    return true;
}

// Polls `url` (POST-as-GET) while its status is one of `waiting`, within kMaxPollTime.
bool CAcmeClient::WaitWhile(const std::string& url, const std::vector<std::string>& waiting,
                            json& object, std::string& error) {
    const auto end = std::chrono::steady_clock::now() + kMaxPollTime;
    for (;;) {
        Reply reply;
        if (!Post(url, "", reply, error)) {
            error = url + " cannot be read: " + error;
            return false;
        }
        object = std::move(reply.object);
        const std::string status = TextOf(object, "status");
        if (std::find(waiting.begin(), waiting.end(), status) == waiting.end()) return true;
        const auto wait =
            std::clamp<std::chrono::milliseconds>(m_retryAfter, kPollInterval, kMaxPollInterval);
        if (std::chrono::steady_clock::now() + wait > end) {
            error = url + " is still " + status + " after " + std::to_string(kMaxPollTime.count()) +
                    " s";
            return false;
        }
        if (!Pause(wait)) {
            error = "cancelled";
            return false;
        }
    }
}

bool CAcmeClient::Finalize(const json& order, const std::string& orderUrl,
                           IssuedCertificate& issued, std::string& error) {
    json state;
    if (!WaitWhile(orderUrl, {"pending"}, state, error)) return false;
    if (TextOf(state, "status") != "ready" && TextOf(state, "status") != "valid") {
        error =
            "the order is " + TextOf(state, "status") + ": " + ProblemOf(MemberOf(state, "error"));
        return false;
    }
    const std::unique_ptr<CEcKey> key = CEcKey::Generate(error);
    const std::string csr = key ? CertificateRequestDer(m_settings.names, *key, error) : "";
    if (csr.empty()) return false;
    Reply reply;
    if (TextOf(state, "status") == "ready" &&
        !Post(TextOf(order, "finalize"), Dump(json{{"csr", Base64Url(csr)}}), reply, error)) {
        error = "finalize was refused: " + error;
        return false;
    }
    if (!WaitWhile(orderUrl, {"ready", "processing"}, state, error)) return false;
    const std::string certificateUrl = TextOf(state, "certificate");
    if (TextOf(state, "status") != "valid" || certificateUrl.empty()) {
        error = "the order ended " + TextOf(state, "status") + " without a certificate";
        return false;
    }
    if (!Post(certificateUrl, "", reply, error, "application/pem-certificate-chain")) {
        error = "the certificate cannot be downloaded: " + error;
        return false;
    }
    if (reply.body.find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
        error = "the CA sent no PEM certificate chain";
        return false;
    }
    issued.chainPem = std::move(reply.body);
    issued.keyPem = key->PrivatePem();
    return true;
}

bool CAcmeClient::Pause(std::chrono::milliseconds wait) const {
    const auto end = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < end) {
        if (m_cancel) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return !m_cancel;
}
