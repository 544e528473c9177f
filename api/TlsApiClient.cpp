#include "api/TlsApiClient.h"

#include <httplib.h>

#include <nlohmann/json.hpp>

#include "api/AdminCredentials.h"
#include "platform/TlsPinning.h"

namespace {

constexpr int kConnectSeconds = 5;
constexpr int kAnswerSeconds = 15;

bool ParsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(text);
    return port >= 1 && port <= 65535;
}

class CTlsApiClient : public CApiClient {
public:
    CTlsApiClient(const ServerUrl& url, std::string fingerprint, std::string password)
        : m_client(url.host, url.port), m_password(std::move(password)) {
        m_pin.expected = std::move(fingerprint);
        // The pin replaces the authorities: verification by the library is off, and
        // the handshake's own check is the pin's.
        m_client.enable_server_certificate_verification(false);
        PinServerCertificate(m_client.ssl_context(), &m_pin);
        m_client.set_connection_timeout(kConnectSeconds);
        m_client.set_read_timeout(kAnswerSeconds);
        m_client.set_write_timeout(kAnswerSeconds);
    }

    ApiClientResponse Send(const std::string& method, const std::string& path,
                           const std::string& body, const std::string& ifMatch) override {
        if (m_token.empty() && !m_pin.expected.empty()) {
            ApiClientResponse signIn = SignIn();
            if (signIn.status != 200) return signIn;
        }
        httplib::Headers headers;
        if (!m_token.empty()) headers.emplace("Authorization", "Bearer " + m_token);
        if (!ifMatch.empty()) headers.emplace("If-Match", ifMatch);
        return Exchange(method, path, body, headers);
    }

    const CertificatePin& Pin() const { return m_pin; }

private:
    ApiClientResponse SignIn() {
        httplib::Headers headers;
        headers.emplace("Authorization", "Basic " + EncodeBase64("admin:" + m_password));
        ApiClientResponse answer = Exchange("POST", "/api/v1/signin", {}, headers);
        if (answer.status != 200) return answer;
        const nlohmann::json body = nlohmann::json::parse(answer.body, nullptr, false);
        if (body.is_object() && body.contains("token") && body.at("token").is_string())
            m_token = body.at("token").get<std::string>();
        if (m_token.empty()) {
            answer.status = 0;
            answer.error = "the sign-in gave no token";
        }
        return answer;
    }

    ApiClientResponse Exchange(const std::string& method, const std::string& path,
                               const std::string& body, const httplib::Headers& headers) {
        httplib::Request request;
        request.method = method;
        request.path = path;
        request.headers = headers;
        if (!body.empty()) {
            request.body = body;
            request.headers.emplace("Content-Type", "application/json");
        }
        const httplib::Result result = m_client.send(request);
        ApiClientResponse answer;
        // SECURITY: whatever the library made of the handshake, no answer counts unless
        // it came from the pinned certificate.
        if (!m_pin.expected.empty() && m_pin.seen != m_pin.expected) {
            answer.error = m_pin.seen.empty()
                               ? "no TLS connection: " + httplib::to_string(result.error())
                               : "the server's certificate has the fingerprint " + m_pin.seen +
                                     ", not the expected " + m_pin.expected + "; refused";
            return answer;
        }
        if (!result) {
            answer.error = "no answer: " + httplib::to_string(result.error());
            return answer;
        }
        answer.status = result->status;
        answer.body = result->body;
        answer.etag = result->get_header_value("ETag");
        return answer;
    }

    httplib::SSLClient m_client;
    CertificatePin m_pin;
    std::string m_password;
    std::string m_token;
};

}  // namespace

bool ParseServerUrl(const std::string& url, ServerUrl& out, std::string& error) {
    constexpr std::string_view kScheme = "https://";
    error = "the server must be given as https://HOST:PORT, not \"" + url + "\"";
    if (url.rfind(kScheme, 0) != 0) return false;
    std::string rest = url.substr(kScheme.size());
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string host = rest.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return false;
        host = host.substr(1, host.size() - 2);
    } else if (host.find_first_of(":/[]@ ") != std::string::npos) {
        return false;
    }
    if (!ParsePort(rest.substr(colon + 1), out.port)) return false;
    out.host = host;
    error.clear();
    return true;
}

std::unique_ptr<CApiClient> NewTlsApiClient(const std::string& url, const std::string& fingerprint,
                                            const std::string& password, std::string& error) {
    ServerUrl server;
    if (!ParseServerUrl(url, server, error)) return nullptr;
    const std::string pinned = CanonicalFingerprint(fingerprint);
    if (pinned.empty()) {
        error = "\"" + fingerprint + "\" is not a SHA-256 fingerprint (64 hex digits)";
        return nullptr;
    }
    return std::make_unique<CTlsApiClient>(server, pinned, password);
}

std::string FetchServerFingerprint(const std::string& url, std::string& error) {
    ServerUrl server;
    if (!ParseServerUrl(url, server, error)) return {};
    CTlsApiClient probe(server, {}, {});
    const ApiClientResponse answer = probe.Send("GET", "/api/v1/server", {}, {});
    if (probe.Pin().seen.empty())
        error = answer.error.empty() ? "the server showed no certificate" : answer.error;
    return probe.Pin().seen;
}
