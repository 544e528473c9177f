// Keeps the ACME certificate fresh: at start it orders one unless the issued file
// covers every name with more than a third of its lifetime left, then renews it when a
// third is left; a failed order keeps the current certificate and is tried again after
// a back-off. Runs on a thread of its own, started by CFtpServer::Start and ended by
// its stop within about a second.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CFtpServer;
struct CertificateInfo;

// In the program directory, 0600: the account key, and the issued chain followed by its
// key in one file (so no reader ever pairs a new certificate with an old key).
inline constexpr const char* kAcmeAccountKeyName = "acme-account.pem";
inline constexpr const char* kAcmeCertificateName = "acme-cert.pem";

struct RenewalSettings {
    std::vector<std::string> names;  // none: ACME is off
    std::string directoryUrl;
    std::string caFile;  // absolute, or empty
    std::string email;
    int httpPort = 80;
};

class CCertificateRenewal {
public:
    explicit CCertificateRenewal(CFtpServer& server);
    ~CCertificateRenewal();
    CCertificateRenewal(const CCertificateRenewal&) = delete;
    CCertificateRenewal& operator=(const CCertificateRenewal&) = delete;

    // Main thread; takes effect at the next Start.
    void Configure(RenewalSettings settings) { m_settings = std::move(settings); }
    // Main thread: starts the thread when names are configured.
    void Start(std::vector<std::string> listenAddresses);
    // Main thread: ends a running order and the thread.
    void Stop();

private:
    void Run(const std::vector<std::string>& listenAddresses);
    std::int64_t FirstRenewal();
    bool Renew(const std::vector<std::string>& listenAddresses, CertificateInfo& info,
               std::string& error);
    bool WaitUntil(std::int64_t when);
    std::string Path(const char* name) const;
    std::string Names() const;

    CFtpServer& m_server;
    RenewalSettings m_settings;  // main thread's, for the next Start
    RenewalSettings m_active;    // the running thread's copy
    std::mutex m_lock;           // with m_wake: the stop request
    std::condition_variable m_wake;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
