// The server's TLS credentials and settings (TLS 1.2 and 1.3 only, modern ciphers), shared
// by every connection that switches to TLS while they are in use; and the self-signed
// certificate a server makes for itself when it is given none.
#pragma once

#include <memory>
#include <string>

#include "platform/CertificateFacts.h"

struct ssl_ctx_st;
struct x509_st;

class CTlsContext {
public:
    ~CTlsContext();
    CTlsContext(const CTlsContext&) = delete;
    CTlsContext& operator=(const CTlsContext&) = delete;

    // Loads a PEM certificate (its chain may follow it in the same file) and its private
    // key. nullptr, and `error` saying why, when either cannot be read or they do not match.
    static std::shared_ptr<CTlsContext> Load(const std::string& certificateFile,
                                             const std::string& keyFile, std::string& error);

    // SHA-256 of the certificate, as colon-separated hex pairs, for clients to compare.
    const std::string& Fingerprint() const { return m_facts.fingerprint; }
    // The served certificate's fingerprint, end of validity and names.
    const CertificateFacts& Facts() const { return m_facts; }
    ssl_ctx_st* Native() const { return m_context; }

private:
    explicit CTlsContext(ssl_ctx_st* context) : m_context(context) {}

    ssl_ctx_st* m_context;
    CertificateFacts m_facts;
};

// Reads the PEM file `path` (a regular file of at most 1 MiB, opened without waiting on
// a FIFO) into `text`. False, and `error` saying why, otherwise.
[[nodiscard]] bool ReadPemFile(const std::string& path, std::string& text, std::string& error);

// SHA-256 of `certificate` in CTlsContext::Fingerprint's form; empty for none.
std::string HexFingerprint(const x509_st* certificate);

// Writes a new self-signed certificate for this machine's host name, localhost, the
// loopback addresses and the interface addresses (valid ten years) to
// `certificateFile` and its key to `keyFile` (mode 0600). False, and `error`, on failure;
// no half-written file is left behind under either name.
[[nodiscard]] bool CreateSelfSignedCertificate(const std::string& certificateFile,
                                               const std::string& keyFile, std::string& error);

// Frees what the TLS library keeps for the calling thread. A thread calls it before it
// reports its end, so that nothing of it is left when the process exits right after.
void ReleaseThreadTlsState();
