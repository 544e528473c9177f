#include "net/AddressDetector.h"

#include <algorithm>

#include "net/PublicAddress.h"
#include "net/WebGetWorker.h"

CAddressDetector::CAddressDetector(EventLoop& loop, SettingsReader readSettings,
                                   AddressSink applyPassiveAddress, DetectionTiming timing)
    : m_loop(loop),
      m_readSettings(std::move(readSettings)),
      m_applyPassiveAddress(std::move(applyPassiveAddress)),
      m_timing(timing),
      m_worker(std::make_unique<CWebGetWorker>(loop, static_cast<IMessageTarget&>(*this),
                                               timing.requestTimeout)) {}

CAddressDetector::~CAddressDetector() {
    if (m_retryTimer != 0) m_loop.CancelTimer(m_retryTimer);
    m_worker.reset();  // joins: nothing is posted after this
    // NOTE: every WM_WEBGET_DONE of the loop is this object's (one detector per loop).
    m_loop.RemovePending(WM_WEBGET_DONE);
}

bool CAddressDetector::StartDetection(int port) {
    const DetectionSettings settings = m_readSettings();
    if (!settings.passiveAuto && settings.dnsEnable != 1) return false;
    if (settings.lookupUrl.empty()) return false;
    m_port = port;
    // The lookup under way answers this start as well; a slow page never piles up requests.
    if (std::find(m_kinds.begin(), m_kinds.end(), RequestKind::Lookup) != m_kinds.end())
        return false;
    return StartRequest(settings.lookupUrl, RequestKind::Lookup);
}

void CAddressDetector::StartRetryTimer() {
    if (m_retryTimer != 0) return;
    m_retryTimer = m_loop.AddTimer(m_timing.retryPeriod, [this] {
        if (!AddressKnown()) (void)StartDetection(m_port);
    });
}

std::size_t CAddressDetector::RequestsSent() const { return m_worker->RequestsSent(); }

bool CAddressDetector::StartRequest(const std::string& url, RequestKind kind) {
    if (!m_worker->Start(url)) return false;
    m_kinds.push_back(kind);
    return true;
}

std::intptr_t CAddressDetector::HandleMessage(const Message& message) {
    if (message.id != WM_WEBGET_DONE || m_kinds.empty()) return 0;
    const RequestKind kind = m_kinds.front();
    m_kinds.pop_front();
    ++m_handled;
    const std::optional<WebGetReply> reply = m_worker->TakeReply();
    // A failure waits for the retry timer. The update's answer is never read as an
    // address, so an update page cannot start a chain of updates.
    if (!reply || !reply->ok || kind != RequestKind::Lookup) return 0;
    OnLookupReply(reply->body);
    return 0;
}

void CAddressDetector::OnLookupReply(const std::string& body) {
    const std::optional<std::string> address = ParseAddressReply(body);
    if (!address) return;
    const DetectionSettings settings = m_readSettings();
    if (settings.passiveAuto) m_applyPassiveAddress(*address);
    if (settings.dnsEnable != 0 && !settings.updateUrl.empty()) StartUpdate(settings, *address);
    m_address = *address;
}

void CAddressDetector::StartUpdate(const DetectionSettings& settings, const std::string& address) {
    (void)StartRequest(
        BuildUpdateUrl(settings.updateUrl, settings.dnsName, settings.dnsPassword, address, m_port),
        RequestKind::Update);
}
