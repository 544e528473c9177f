// The administration API's TLS listener as option.ini describes it: [Admin] Listen (the
// addresses), [Admin] CertificateFile and KeyFile (else the FTPS certificate).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CApiHttpServer;
class CFtpServer;
class CTlsContext;
struct OptionValues;

struct ListenEndpoint {
    std::string address;  // numeric, IPv6 without brackets
    std::uint16_t port = 0;
};

// "127.0.0.1:14148", "[::1]:14148,0.0.0.0:14148": comma-separated ADDRESS:PORT items, an
// IPv6 address in brackets. False, with `error` naming the item, for anything else.
[[nodiscard]] bool ParseListenList(const std::string& text, std::vector<ListenEndpoint>& out,
                                   std::string& error);
// "[::1]:14148" or "127.0.0.1:14148", for log lines.
std::string EndpointText(const ListenEndpoint& endpoint);

// Where each connection of the listener takes its certificate from: [Admin]
// CertificateFile, loaded once here, or the FTPS certificate, current at each connection.
// Logs the certificate's fingerprint, or why none is usable (then nullptr).
using TlsContextSource = std::function<std::shared_ptr<CTlsContext>()>;
TlsContextSource AdminCertificate(CFtpServer& server, const OptionValues& options);

// Serves [Admin] Listen on `http` over TLS with the sign-in check, before http's Start.
// An unusable address list or certificate, and each address that cannot be listened
// on, is one log line; the FTP service goes on regardless.
void AddAdminListeners(CApiHttpServer& http, CFtpServer& server, const OptionValues& options);
