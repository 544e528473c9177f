#include "platform/TlsContext.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/FileUtil.h"
#include "platform/HostAddresses.h"
#include "platform/TlsStream.h"
#include "platform/UniqueFd.h"

namespace {

// TLS 1.2 suites with forward secrecy and authenticated encryption only; TLS 1.3 keeps
// OpenSSL's own list, which is all of that kind.
const char* const kTls12Ciphers =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
    "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
    "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";
// A session stays resumable for as long as a control connection may reasonably last:
// every data connection of a session must resume it.
const long kSessionLifetimeSeconds = 12 * 3600;
const unsigned char kSessionScope[] = "tarvona";
const int kCertificateDays = 3650;

std::string LastSslError(const char* what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return what;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

SSL_CTX* NewServerContext(std::string& error) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (context == nullptr) {
        error = LastSslError("cannot create a TLS context");
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(context, TLS1_3_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION);
    SSL_CTX_set_mode(context, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_SERVER);
    SSL_CTX_set_timeout(context, kSessionLifetimeSeconds);
    SSL_CTX_set_session_id_context(context, kSessionScope, sizeof kSessionScope - 1);
    InstallSessionMarking(context);
    if (SSL_CTX_set_cipher_list(context, kTls12Ciphers) != 1) {
        error = LastSslError("cannot set the cipher list");
        SSL_CTX_free(context);
        return nullptr;
    }
    return context;
}

// A PEM file of a certificate chain or a key is far smaller than this.
const off_t kMaxPemFileBytes = 1 << 20;

// SECURITY: another local user may put a FIFO or a device where a certificate was. The
// file is opened without waiting and read only when it is a regular file of a sane size,
// so that a load never blocks. False with `error` saying why.

using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;

BioPtr MemoryBio(const std::string& text) {
    return {BIO_new_mem_buf(text.data(), static_cast<int>(text.size())), &BIO_free};
}

// A server has nobody to ask for a pass phrase: an encrypted key is refused.
int NoPassphrase(char* /*buffer*/, int /*size*/, int /*rwflag*/, void* /*arg*/) { return -1; }

// The first certificate of `text` is the server's, the ones after it its chain.
bool UseCertificateChain(SSL_CTX* context, const std::string& text) {
    const BioPtr input = MemoryBio(text);
    X509* leaf =
        input ? PEM_read_bio_X509_AUX(input.get(), nullptr, NoPassphrase, nullptr) : nullptr;
    const bool used = leaf != nullptr && SSL_CTX_use_certificate(context, leaf) == 1;
    X509_free(leaf);
    if (!used) return false;
    while (X509* issuer = PEM_read_bio_X509(input.get(), nullptr, NoPassphrase, nullptr)) {
        if (SSL_CTX_add0_chain_cert(context, issuer) != 1) {
            X509_free(issuer);
            return false;
        }
    }
    // The end of the text ends the chain; any other error is a damaged file.
    const unsigned long last = ERR_peek_last_error();
    if (ERR_GET_LIB(last) != ERR_LIB_PEM || ERR_GET_REASON(last) != PEM_R_NO_START_LINE)
        return false;
    ERR_clear_error();
    return true;
}

bool UsePrivateKey(SSL_CTX* context, const std::string& text) {
    const BioPtr input = MemoryBio(text);
    EVP_PKEY* key =
        input ? PEM_read_bio_PrivateKey(input.get(), nullptr, NoPassphrase, nullptr) : nullptr;
    const bool used = key != nullptr && SSL_CTX_use_PrivateKey(context, key) == 1;
    EVP_PKEY_free(key);
    return used;
}

// Host names only: anything else in a certificate name is left out.
std::string CertificateHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    std::string host;
    for (const char* c = name; *c != '\0'; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c)) || *c == '-' || *c == '.') host += *c;
    return host.empty() ? "localhost" : host;
}

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;

// The names a client on this machine or the local network may use for the server: the
// host name, localhost, the loopback addresses and every interface address.
std::string AltNames(const std::string& host) {
    std::string names = "DNS:" + host;
    if (host != "localhost") names += ",DNS:localhost";
    names += ",IP:127.0.0.1,IP:::1";
    for (const std::string& address : LocalIpv4Addresses()) names += ",IP:" + address;
    for (const std::string& address : LocalIpv6Addresses()) names += ",IP:" + address;
    return names;
}

bool AddAltNames(X509* certificate, const std::string& host) {
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, certificate, certificate, nullptr, nullptr, 0);
    const std::string value = AltNames(host);
    X509_EXTENSION* extension =
        X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, value.c_str());
    if (extension == nullptr) return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

CertPtr MakeCertificate(EVP_PKEY* key, const std::string& host) {
    CertPtr certificate(X509_new(), &X509_free);
    unsigned char serial[16];
    if (!certificate || RAND_bytes(serial, sizeof serial) != 1) return {nullptr, &X509_free};
    serial[0] &= 0x7f;  // a positive serial number
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool serialSet =
        number != nullptr && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate.get()));
    BN_free(number);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    const auto* cn = reinterpret_cast<const unsigned char*>(host.c_str());
    const bool ok = serialSet && X509_set_version(certificate.get(), 2) == 1 &&
                    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600) != nullptr &&
                    X509_time_adj_ex(X509_getm_notAfter(certificate.get()), kCertificateDays, 0,
                                     nullptr) != nullptr &&
                    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, cn, -1, -1, 0) == 1 &&
                    X509_set_issuer_name(certificate.get(), name) == 1 &&
                    X509_set_pubkey(certificate.get(), key) == 1 &&
                    AddAltNames(certificate.get(), host) &&
                    X509_sign(certificate.get(), key, EVP_sha256()) > 0;
    if (!ok) return {nullptr, &X509_free};
    return certificate;
}

// The PEM text `write` puts out, written over `path` whole (platform::ReplaceFileAtomically);
// a new file gets `mode`.
template <typename Writer>
bool WritePemFile(const std::string& path, unsigned mode, Writer write) {
    const std::unique_ptr<BIO, decltype(&BIO_free)> memory(BIO_new(BIO_s_mem()), &BIO_free);
    if (!memory || write(memory.get()) != 1) return false;
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(memory.get(), &bytes);
    if (length <= 0) return false;
    const bool written = platform::ReplaceFileAtomically(
        path, std::string_view(bytes, static_cast<std::size_t>(length)), mode, nullptr);
    OPENSSL_cleanse(bytes, static_cast<std::size_t>(length));  // it may hold the private key
    return written;
}

}  // namespace

bool ReadPemFile(const std::string& path, std::string& text, std::string& error) {
    text.clear();
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (!file || ::fstat(file.Get(), &info) != 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxPemFileBytes) {
        error = path + " is not a regular file of at most 1 MiB";
        return false;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || text.size() + static_cast<std::size_t>(got) > kMaxPemFileBytes) {
            OPENSSL_cleanse(buffer, sizeof buffer);
            error = "cannot read " + path;
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    OPENSSL_cleanse(buffer, sizeof buffer);
    return true;
}

std::string HexFingerprint(const X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &length) != 1)
        return {};
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i > 0) text += ':';
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

CTlsContext::~CTlsContext() { SSL_CTX_free(m_context); }

std::shared_ptr<CTlsContext> CTlsContext::Load(const std::string& certificateFile,
                                               const std::string& keyFile, std::string& error) {
    SSL_CTX* native = NewServerContext(error);
    if (native == nullptr) return nullptr;
    std::shared_ptr<CTlsContext> context(new CTlsContext(native));
    std::string text;
    if (!ReadPemFile(certificateFile, text, error) || !UseCertificateChain(native, text)) {
        if (error.empty())
            error = LastSslError(("cannot read the certificate " + certificateFile).c_str());
        return nullptr;
    }
    const bool keyUsed = ReadPemFile(keyFile, text, error) && UsePrivateKey(native, text);
    OPENSSL_cleanse(text.data(), text.size());
    if (!keyUsed) {
        if (error.empty()) error = LastSslError(("cannot read the private key " + keyFile).c_str());
        return nullptr;
    }
    if (SSL_CTX_check_private_key(native) != 1) {
        error = LastSslError("the private key does not belong to the certificate");
        return nullptr;
    }
    if (!ReadCertificateFacts(SSL_CTX_get0_certificate(native), context->m_facts)) {
        error = "cannot read the validity of the certificate " + certificateFile;
        return nullptr;
    }
    return context;
}

bool CreateSelfSignedCertificate(const std::string& certificateFile, const std::string& keyFile,
                                 std::string& error) {
    KeyPtr key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    if (!key) {
        error = LastSslError("cannot make a key");
        return false;
    }
    CertPtr certificate = MakeCertificate(key.get(), CertificateHostName());
    if (!certificate) {
        error = LastSslError("cannot make a certificate");
        return false;
    }
    // SECURITY: the key file is the server's identity; only its owner may read it.
    if (!WritePemFile(keyFile, 0600, [&](BIO* out) {
            return PEM_write_bio_PrivateKey(out, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
        })) {
        error = "cannot write " + keyFile;
        return false;
    }
    if (!WritePemFile(certificateFile, 0644,
                      [&](BIO* out) { return PEM_write_bio_X509(out, certificate.get()); })) {
        error = "cannot write " + certificateFile;
        ::unlink(keyFile.c_str());
        return false;
    }
    return true;
}

void ReleaseThreadTlsState() { OPENSSL_thread_stop(); }
