#include "server/CertificateRenewal.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "acme/AccountKeyFile.h"
#include "acme/AcmeClient.h"
#include "acme/CertificateInfo.h"
#include "acme/ChallengeListener.h"
#include "acme/EcKey.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/FileUtil.h"
#include "platform/StringFormat.h"
#include "platform/TlsContext.h"
#include "server/FtpServer.h"

namespace {

// After a failed order: a minute, doubling with each further failure, at most a day.
constexpr std::int64_t kFirstRetrySeconds = 60;
constexpr std::int64_t kLongestRetrySeconds = 24 * 3600;
// The earliest renewal after an issue: a CA that hands out certificates of a few seconds
// does not get an order in a loop.
constexpr std::int64_t kShortestRenewalSeconds = 10;
// A stop request is looked at this often while waiting (a clock set forward is seen too).
constexpr std::chrono::seconds kLongestSleep{60};

std::string DateText(std::int64_t seconds) {
    return FormatUtcTime(seconds, "%Y-%m-%d %H:%M:%S UTC");
}

}  // namespace

CCertificateRenewal::CCertificateRenewal(CFtpServer& server) : m_server(server) {}

CCertificateRenewal::~CCertificateRenewal() { Stop(); }

void CCertificateRenewal::Start(std::vector<std::string> listenAddresses) {
    if (m_settings.names.empty() || m_thread.joinable()) return;
    m_active = m_settings;
    m_stop = false;
    try {
        m_thread = std::thread([this, addresses = std::move(listenAddresses)] { Run(addresses); });
    } catch (const std::system_error& e) {
        m_server.LogMessage(LogCategory::Error,
                            StringFormat("Certificate renewal did not start: %s.", e.what()),
                            LogSeverity::Error);
    }
}

void CCertificateRenewal::Stop() {
    {
        std::lock_guard lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

std::string CCertificateRenewal::Path(const char* name) const {
    return m_server.ProgramDir() + name;
}

std::string CCertificateRenewal::Names() const {
    std::string text;
    for (const std::string& name : m_active.names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// The issued file's renewal time, or 0 (now) when there is none that covers the names.
std::int64_t CCertificateRenewal::FirstRenewal() {
    const std::string path = Path(kAcmeCertificateName);
    std::string pem;
    std::string why;
    CertificateInfo info;
    if (IsAbsent(path) || !ReadPemFile(path, pem, why) || !ReadCertificateInfo(pem, info)) return 0;
    const std::int64_t due = RenewalTime(info, m_active.names);
    if (due > NowSeconds())
        m_server.LogMessage(LogCategory::Server, "ACME: certificate " + path + " for " + Names() +
                                                     " is valid until " + DateText(info.notAfter) +
                                                     "; renewal at " + DateText(due));
    return due;
}

void CCertificateRenewal::Run(const std::vector<std::string>& listenAddresses) {
    std::int64_t due = FirstRenewal();
    std::int64_t retry = kFirstRetrySeconds;
    while (WaitUntil(due)) {
        m_server.LogMessage(LogCategory::Server, "ACME: ordering a certificate for " + Names() +
                                                     " from " + m_active.directoryUrl);
        CertificateInfo info;
        std::string error;
        if (Renew(listenAddresses, info, error)) {
            m_server.LogMessage(LogCategory::Server,
                                "ACME: certificate for " + Names() + " issued by " + info.issuer +
                                    ", valid until " + DateText(info.notAfter) +
                                    "; used from the next AUTH TLS");
            due =
                std::max(RenewalTime(info, m_active.names), NowSeconds() + kShortestRenewalSeconds);
            retry = kFirstRetrySeconds;
            continue;
        }
        if (m_stop) break;
        due = NowSeconds() + retry;
        m_server.LogMessage(LogCategory::Error,
                            "ACME: no certificate for " + Names() + ": " + error +
                                "; the current certificate stays in use; next attempt at " +
                                DateText(due),
                            LogSeverity::Warning);
        retry = std::min(retry * 2, kLongestRetrySeconds);
    }
    ReleaseThreadTlsState();
}

bool CCertificateRenewal::Renew(const std::vector<std::string>& listenAddresses,
                                CertificateInfo& info, std::string& error) {
    const std::unique_ptr<CEcKey> accountKey =
        LoadOrCreateAccountKey(Path(kAcmeAccountKeyName), error);
    if (!accountKey) return false;
    AcmeSettings settings{m_active.directoryUrl, m_active.caFile, m_active.email, m_active.names};
    CChallengeListener listener(listenAddresses, m_active.httpPort);
    IssuedCertificate issued;
    {
        CAcmeClient client(std::move(settings), *accountKey, listener, m_stop);
        if (!client.Issue(issued, error)) return false;
    }
    // The chain must be what was ordered before it replaces a working certificate.
    if (!ReadCertificateInfo(issued.chainPem, info) || RenewalTime(info, m_active.names) == 0 ||
        !CertificateMatchesKey(issued.chainPem, issued.keyPem)) {
        error = "the CA's certificate does not cover the names or does not match its key";
        return false;
    }
    const std::string path = Path(kAcmeCertificateName);
    // A file left open to others by hand is narrowed before the new key goes into it.
    if (!IsAbsent(path)) (void)SetPermissionBits(path, 0600);
    std::string bytes = issued.chainPem;
    if (!bytes.empty() && bytes.back() != '\n') bytes += '\n';
    bytes += issued.keyPem;
    std::string why;
    const bool written = platform::ReplaceFileAtomically(path, bytes, 0600, &why);
    std::fill(bytes.begin(), bytes.end(), '\0');
    std::fill(issued.keyPem.begin(), issued.keyPem.end(), '\0');
    if (!written) error = "the certificate cannot be written: " + why;
    return written;
}

// False when a stop was asked for before `when` (calendar seconds) came.
bool CCertificateRenewal::WaitUntil(std::int64_t when) {
    std::unique_lock lock(m_lock);
    for (;;) {
        if (m_stop) return false;
        const std::int64_t left = when - NowSeconds();
        if (left <= 0) return true;
        m_wake.wait_for(lock,
                        std::min<std::chrono::seconds>(std::chrono::seconds(left), kLongestSleep));
    }
}
