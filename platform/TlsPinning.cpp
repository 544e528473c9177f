#include "platform/TlsPinning.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cctype>

#include "platform/TlsContext.h"

namespace {

int PinIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int VerifyPinned(int /*chainVerified*/, X509_STORE_CTX* store) {
    // SECURITY: only the server's own certificate decides; the chain above it may be
    // anything, as the pin names exactly one certificate.
    if (X509_STORE_CTX_get_error_depth(store) != 0) return 1;
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* pin =
        ssl == nullptr
            ? nullptr
            : static_cast<CertificatePin*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), PinIndex()));
    if (pin == nullptr) return 0;
    pin->seen = HexFingerprint(X509_STORE_CTX_get_current_cert(store));
    if (pin->expected.empty()) return 1;
    return !pin->seen.empty() && pin->seen == pin->expected ? 1 : 0;
}

}  // namespace

void PinServerCertificate(ssl_ctx_st* context, CertificatePin* pin) {
    SSL_CTX_set_ex_data(context, PinIndex(), pin);
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, VerifyPinned);
}

std::string CanonicalFingerprint(std::string_view text) {
    if (text.size() > 7 && (text.substr(0, 7) == "SHA256:" || text.substr(0, 7) == "sha256:"))
        text.remove_prefix(7);
    std::string digits;
    for (const char c : text) {
        if (c == ':') continue;
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return {};
        digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (digits.size() != 64) return {};
    std::string canonical;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        if (i > 0) canonical += ':';
        canonical += digits.substr(i, 2);
    }
    return canonical;
}
