#include "api/AdminListener.h"

#include "accounts/PasswordHash.h"
#include "api/AdminAuth.h"
#include "api/ApiHttpServer.h"
#include "api/MetricsRoutes.h"
#include "api/TlsHttpStream.h"
#include "config/Options.h"
#include "platform/TcpListener.h"
#include "platform/TlsContext.h"
#include "server/FtpServer.h"

namespace {

bool ParsePort(const std::string& text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int value = std::stoi(text);
    if (value < 1 || value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool ParseEndpoint(const std::string& item, ListenEndpoint& out) {
    const std::size_t colon = item.rfind(':');
    if (colon == std::string::npos || colon == 0 || !ParsePort(item.substr(colon + 1), out.port))
        return false;
    std::string address = item.substr(0, colon);
    if (address.front() == '[') {
        if (address.size() < 3 || address.back() != ']') return false;
        address = address.substr(1, address.size() - 2);
    } else if (address.find(':') != std::string::npos) {
        return false;  // an IPv6 address needs its brackets, or the port is ambiguous
    }
    out.address = address;
    return true;
}

std::string InProgramDir(const std::string& programDir, const std::string& name) {
    return !name.empty() && name.front() == '/' ? name : programDir + name;
}

void LogFingerprint(CFtpServer& server, const std::string& file, const CTlsContext& context) {
    server.LogMessage(LogCategory::Server, "Administration API certificate " + file +
                                               ", SHA-256 fingerprint " + context.Fingerprint());
}

}  // namespace

bool ParseListenList(const std::string& text, std::vector<ListenEndpoint>& out,
                     std::string& error) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma - start);
        while (!item.empty() && item.front() == ' ') item.erase(0, 1);
        while (!item.empty() && item.back() == ' ') item.pop_back();
        ListenEndpoint endpoint;
        if (!ParseEndpoint(item, endpoint)) {
            error = "\"" + item + "\" is not ADDRESS:PORT (IPv6 as [ADDRESS]:PORT)";
            return false;
        }
        out.push_back(endpoint);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

std::string EndpointText(const ListenEndpoint& endpoint) {
    const bool v6 = endpoint.address.find(':') != std::string::npos;
    return (v6 ? "[" + endpoint.address + "]" : endpoint.address) + ":" +
           std::to_string(endpoint.port);
}

TlsContextSource AdminCertificate(CFtpServer& server, const OptionValues& options) {
    if (options.adminCertificateFile.empty()) {
        std::shared_ptr<CTlsContext> current = server.Tls().Context(server);
        if (!current) {
            server.LogMessage(LogCategory::Error,
                              "Administration API: the FTPS certificate cannot be used; set "
                              "[Admin] CertificateFile or fix [TLS] CertificateFile.");
            return {};
        }
        server.LogMessage(LogCategory::Server,
                          "Administration API uses the FTPS certificate, SHA-256 fingerprint " +
                              current->Fingerprint());
        return [&server] { return server.Tls().Context(server); };
    }
    const std::string certificate = InProgramDir(server.ProgramDir(), options.adminCertificateFile);
    const std::string key = options.adminKeyFile.empty()
                                ? certificate
                                : InProgramDir(server.ProgramDir(), options.adminKeyFile);
    std::string error;
    std::shared_ptr<CTlsContext> context = CTlsContext::Load(certificate, key, error);
    if (!context) {
        server.LogMessage(LogCategory::Error,
                          "Administration API: the certificate cannot be used: " + error);
        return {};
    }
    LogFingerprint(server, certificate, *context);
    return [context] { return context; };
}

void AddAdminListeners(CApiHttpServer& http, CFtpServer& server, const OptionValues& options) {
    if (options.adminListen.empty()) return;
    std::vector<ListenEndpoint> endpoints;
    std::string error;
    if (!ParseListenList(options.adminListen, endpoints, error)) {
        server.LogMessage(LogCategory::Error,
                          "Administration API is off: [Admin] Listen: " + error + ".");
        return;
    }
    TlsContextSource certificate = AdminCertificate(server, options);
    if (!certificate) {
        server.LogMessage(LogCategory::Error,
                          "Administration API is off: it serves TLS only and has no certificate.");
        return;
    }
    http.SetAuthenticator(
        WithMetricsToken(UsableMetricsToken(server, options), AuthenticateAdminRequest));
    if (!IsPasswordHash(options.adminPasswordHash))
        server.LogMessage(LogCategory::Error,
                          "Administration API: no password is set, every sign-in is refused; "
                          "run tarvona-admin admin-password.");
    for (const ListenEndpoint& endpoint : endpoints) {
        UniqueFd fd;
        if (!OpenTcpListener(endpoint.address, endpoint.port, fd, error)) {
            server.LogMessage(LogCategory::Error, "Administration API cannot listen on " +
                                                      EndpointText(endpoint) + ": " + error);
            continue;
        }
        http.AddListener(std::move(fd), ApiTransport::Network,
                         [certificate](UniqueFd accepted, const std::string& peer) {
                             return NewTlsHttpStream(certificate(), std::move(accepted), peer);
                         });
        server.LogMessage(LogCategory::Server, "Administration API listens on https://" +
                                                   EndpointText(endpoint) + " (TLS)");
    }
}
