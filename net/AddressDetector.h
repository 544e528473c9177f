// Public-address detection: asks the address-echo page for this machine's public address,
// hands it on as the passive address when "PassiveIP" is "Auto", and reports it to the
// dynamic-DNS service when that account is enabled. Tries again every retry period until
// an address has been found. Gets its settings as plain values from the caller, read
// afresh at each start and each reply.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "net/NetLimits.h"
#include "platform/EventLoop.h"

class CWebGetWorker;

struct DetectionSettings {
    bool passiveAuto = false;  // "PassiveIP" is "Auto"
    int dnsEnable = 0;         // "DNS" "Enable"
    std::string dnsName;
    std::string dnsPassword;
    std::string lookupUrl;  // the whole URL of the address-echo page; empty: never asked
    std::string updateUrl;  // the base placed before "updateurl2.php"; empty: no update
};

struct DetectionTiming {
    std::chrono::milliseconds retryPeriod = kDetectionRetryPeriod;
    std::chrono::milliseconds requestTimeout = kWebGetTimeout;
};

class CAddressDetector : private IMessageTarget {
public:
    using SettingsReader = std::function<DetectionSettings()>;
    using AddressSink = std::function<void(const std::string& address)>;

    // Lives on `loop`'s thread, where every method runs and `readSettings` and
    // `applyPassiveAddress` are called.
    CAddressDetector(EventLoop& loop, SettingsReader readSettings, AddressSink applyPassiveAddress,
                     DetectionTiming timing = {});
    // Ends a running request, cancels the retry timer and drops replies not yet handled.
    ~CAddressDetector() override;
    CAddressDetector(const CAddressDetector&) = delete;
    CAddressDetector& operator=(const CAddressDetector&) = delete;

    // Starts a lookup when "PassiveIP" is "Auto" or "Enable" is 1 and a lookup URL is set;
    // `port` goes into the update request. True when a request was started or queued;
    // false also while an earlier lookup is still under way (its answer serves this one).
    bool StartDetection(int port);
    // From now on, every retry period: a new detection while no address has been found.
    void StartRetryTimer();
    // True once an echo page has answered with an address; it stays true.
    bool AddressKnown() const { return !m_address.empty(); }
    // The address found last; empty before.
    const std::string& Address() const { return m_address; }
    std::size_t RequestsSent() const;
    // Requests whose end has been handled, whatever their result.
    std::size_t RepliesHandled() const { return m_handled; }

private:
    enum class RequestKind { Lookup, Update };

    std::intptr_t HandleMessage(const Message& message) override;
    void OnLookupReply(const std::string& body);
    void StartUpdate(const DetectionSettings& settings, const std::string& address);
    bool StartRequest(const std::string& url, RequestKind kind);

    EventLoop& m_loop;
    SettingsReader m_readSettings;
    AddressSink m_applyPassiveAddress;
    DetectionTiming m_timing;
    std::unique_ptr<CWebGetWorker> m_worker;
    std::deque<RequestKind> m_kinds;  // of the started requests, in the order they end
    EventLoop::TimerId m_retryTimer = 0;
    std::size_t m_handled = 0;
    int m_port = 21;
    std::string m_address;  // only a parsed address is kept, so empty means none yet
};
