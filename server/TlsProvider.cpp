#include "server/TlsProvider.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/TlsContext.h"
#include "server/CertificateExpiry.h"
#include "server/FtpServer.h"

namespace {

std::string InProgramDir(const std::string& programDir, const std::string& name) {
    return !name.empty() && name.front() == '/' ? name : programDir + name;
}

// A missing or unreadable file reads as the empty identity.
FileIdentity IdentityOrNone(const std::string& path) {
    FileIdentity identity;
    if (StatIdentity(path, identity) != IdentityResult::Found) return {};
    return identity;
}

}  // namespace

void CTlsProvider::Configure(const std::string& programDir, const std::string& certificateFile,
                             const std::string& keyFile, int policy) {
    m_policy = policy;
    const bool generated = certificateFile.empty();
    const std::string certificate =
        InProgramDir(programDir, generated ? kGeneratedCertificateName : certificateFile);
    const std::string key = generated         ? programDir + kGeneratedKeyName
                            : keyFile.empty() ? certificate
                                              : InProgramDir(programDir, keyFile);
    std::lock_guard lock(m_lock);
    if (certificate == m_certificateFile && key == m_keyFile) return;
    m_generated = generated;
    m_certificateFile = certificate;
    m_keyFile = key;
    m_loadedFiles.reset();
    m_context.reset();
    ++m_loadCount;  // a load still reading the old files is not kept
}

void CTlsProvider::SetIssuedCertificate(const std::string& path) {
    std::lock_guard lock(m_lock);
    m_issuedFile = path;
}

void CTlsProvider::Prepare(CFtpServer& server) {
    {
        std::lock_guard lock(m_lock);
        if (m_generated && IsAbsent(m_certificateFile) && IsAbsent(m_keyFile)) {
            std::string error;
            if (CreateSelfSignedCertificate(m_certificateFile, m_keyFile, error))
                server.LogMessage(LogCategory::Server, "TLS: made a self-signed certificate " +
                                                           m_certificateFile +
                                                           " for this host's names and addresses");
            else
                server.LogMessage(LogCategory::Error, "TLS: " + error);
        }
    }
    CheckExpiry(server);
}

void CTlsProvider::CheckExpiry(CFtpServer& server) {
    std::uint64_t loadsBefore = 0;
    {
        std::lock_guard lock(m_lock);
        loadsBefore = m_loadCount;
    }
    const std::shared_ptr<CTlsContext> context = Context(server);
    std::uint64_t loadsAfter = 0;
    {
        std::lock_guard lock(m_lock);
        loadsAfter = m_loadCount;
    }
    if (context && loadsAfter == loadsBefore) WarnIfExpiring(server, context->Facts());
}

std::optional<CertificateFacts> CTlsProvider::Certificate() const {
    std::lock_guard lock(m_lock);
    if (!m_context) return std::nullopt;
    return m_context->Facts();
}

// Self-signed, configured or from ACME alike: a client refuses an expired one.
void CTlsProvider::WarnIfExpiring(CFtpServer& server, const CertificateFacts& facts) {
    const std::string warning = CertificateExpiryWarning(CertificateStatusAt(facts, NowSeconds()));
    if (!warning.empty()) server.LogMessage(LogCategory::Error, warning, LogSeverity::Warning);
}

std::shared_ptr<CTlsContext> CTlsProvider::Context(CFtpServer& server) {
    std::string certificate;
    std::string key;
    bool generated = false;
    std::uint64_t load = 0;
    {
        std::lock_guard lock(m_lock);
        const bool issued = m_generated && !m_issuedFile.empty() && !IsAbsent(m_issuedFile);
        certificate = issued ? m_issuedFile : m_certificateFile;
        key = issued ? m_issuedFile : m_keyFile;
        const auto files = std::make_pair(IdentityOrNone(certificate), IdentityOrNone(key));
        if (files == m_loadedFiles) return m_context;
        // This caller loads the files; others keep the current context meanwhile.
        m_loadedFiles = files;
        generated = m_generated && !issued;
        load = ++m_loadCount;
    }
    // Read outside the lock: whatever the files turn out to be, no other session's
    // AUTH TLS waits for this one.
    std::string error;
    std::shared_ptr<CTlsContext> context = CTlsContext::Load(certificate, key, error);
    {
        std::lock_guard lock(m_lock);
        // Sessions that use the old context keep it until they end; a load that began
        // later (the files changed again) wins.
        if (load == m_loadCount) m_context = context;
    }
    if (!context) {
        server.LogMessage(LogCategory::Error, "TLS unavailable, AUTH TLS is refused: " + error);
        return nullptr;
    }
    // A self-signed certificate is trusted by no client until it is told to.
    const std::string trust = generated
                                  ? "; clients trust it with lftp `set ssl:ca-file " + certificate +
                                        "` or curl `--cacert " + certificate + "`"
                                  : "";
    server.LogMessage(LogCategory::Server, "TLS certificate " + certificate +
                                               ", SHA-256 fingerprint " + context->Fingerprint() +
                                               trust);
    WarnIfExpiring(server, context->Facts());
    return context;
}
