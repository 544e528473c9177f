// The server's TLS certificate and policy: which files hold the certificate and key,
// the context loaded from them (loaded again when either file changes on disk, so a
// replaced certificate serves the next connection without a restart), and the policy.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "config/TlsPolicy.h"
#include "platform/CertificateFacts.h"
#include "platform/FileIdentity.h"

class CFtpServer;
class CTlsContext;

// Names of the certificate pair made at first start when none is configured.
inline constexpr const char* kGeneratedCertificateName = "tls-cert.pem";
inline constexpr const char* kGeneratedKeyName = "tls-key.pem";

class CTlsProvider {
public:
    // Main thread. Relative names are taken from `programDir`; an empty certificate
    // name means the generated pair; an empty key name, the certificate file itself.
    void Configure(const std::string& programDir, const std::string& certificateFile,
                   const std::string& keyFile, int policy);
    // ACME: the issued file (chain, then key) that is served in place of the generated
    // pair whenever it exists; empty: none. Main thread.
    void SetIssuedCertificate(const std::string& path);
    // At start (main thread): makes the self-signed pair when none is configured and it
    // does not exist yet, and loads the certificate when it is new or has changed,
    // logging its fingerprint or the problem; then CheckExpiry.
    void Prepare(CFtpServer& server);
    // Main thread (at start and daily): loads the certificate when its files changed, and
    // logs a warning when the one in use expires within kCertificateWarningDays or has.
    // A load from Context warns by itself.
    void CheckExpiry(CFtpServer& server);
    // Any thread: the facts of the certificate in use; none before a load succeeded.
    std::optional<CertificateFacts> Certificate() const;
    // Any thread: the context for a connection switching to TLS now (loaded again when
    // either file has changed), or nullptr when the certificate cannot be used (logged
    // once per change of the files).
    std::shared_ptr<CTlsContext> Context(CFtpServer& server);
    TlsPolicy Policy() const { return TlsPolicyOf(m_policy.load()); }

private:
    std::atomic<int> m_policy{0};
    void WarnIfExpiring(CFtpServer& server, const CertificateFacts& facts);

    mutable std::mutex m_lock;  // guards everything below
    std::string m_certificateFile;
    std::string m_keyFile;
    bool m_generated = true;
    std::string m_issuedFile;  // ACME's; replaces the generated pair once it exists
    // Certificate and key file as they were when last loaded (or found unusable); none
    // before the first load.
    std::optional<std::pair<FileIdentity, FileIdentity>> m_loadedFiles;
    std::shared_ptr<CTlsContext> m_context;
    std::uint64_t m_loadCount = 0;  // loads begun; only the latest one's result is kept
};
