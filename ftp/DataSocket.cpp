// Set-up notifications of the data socket and the sending of listings and downloads.
#include "ftp/DataSocket.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>

#include "accounts/AccountStore.h"
#include "ftp/ResolveReplies.h"
#include "ftp/TransferEnd.h"
#include "ftp/TransferLimits.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "platform/UniqueFd.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

std::atomic<std::uint64_t> g_nextSerial{1};

// Kilobytes as stored in the account, in whole bytes (truncated); out-of-range and
// non-numbers saturate instead of overflowing.
std::int64_t KbToBytes(double kb) {
    const double bytes = kb * 1024.0;
    if (std::isnan(bytes)) return 0;
    if (bytes >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    if (bytes <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(bytes);
}

std::int64_t SpeedToRate(std::int32_t kbPerSecond) {
    return static_cast<std::int64_t>(kbPerSecond) << 10;
}

const int kAddressInUse = static_cast<int>(std::errc::address_in_use);

}  // namespace

CDataSocket::CDataSocket(CControlSocket& session)
    : m_session(session), m_serial(g_nextSerial.fetch_add(1)) {}

CDataSocket::~CDataSocket() {
    // ABOR, a new PASV or the session's end took a running transfer down.
    ReportTransfer(TransferEvent::None);
    CancelPaceTimer();
}

EventLoop& CDataSocket::Loop() { return m_session.Owner().OwnLoop(); }

bool CDataSocket::BindPassivePort(std::uint32_t low, std::uint32_t high, std::uint32_t first,
                                  AddressFamily family) {
    const auto start = std::chrono::steady_clock::now();
    if (!Create(family)) return false;
    high = std::min<std::uint32_t>(high, 65535);
    if (low > high) return false;
    if (first < low || first > high) first = low;
    const std::uint32_t count = high - low + 1;
    while (std::chrono::steady_clock::now() - start < kPassiveBindTimeout) {
        for (std::uint32_t step = 0; step < count; ++step) {
            const std::uint32_t port = low + (first - low + step) % count;
            if (!Bind("", static_cast<std::uint16_t>(port))) {
                if (LastError() != kAddressInUse) return false;
                continue;
            }
            // Another session may have bound the same port a moment ago (address reuse
            // lets both bind); only the one that listens first owns it.
            if (Listen(kPassiveBacklog) || LastError() != kAddressInUse) {
                NotePassivePort(static_cast<std::uint16_t>(port));
                return true;
            }
            if (!Create(family)) return false;
        }
        std::this_thread::sleep_for(kPassiveBindRetryPause);
    }
    return false;
}

void CDataSocket::NotePassivePort(std::uint16_t bound) {
    m_passivePort = bound;
    // A range that starts at 0 let the system choose.
    std::string address;
    if (bound == 0) (void)GetSockName(address, m_passivePort);
}

void CDataSocket::OnAccept(int /*error*/) {
    for (;;) {
        UniqueFd accepted(Accept());
        if (!accepted) return;
        std::string address;
        std::uint16_t port = 0;
        const bool known = PeerNameOf(accepted.Get(), address, port);
        // SECURITY: only the client itself may take its passive connection; anyone
        // else who finds the port is turned away and the wait goes on.
        if (!known || address != m_session.Owner().PeerAddress()) {
            LogStranger(known ? address : "an unknown address");
            continue;  // closes it
        }
        AttachAccepted(accepted.Release());  // the listening socket closes
        ConnectionMade();
        return;
    }
}

void CDataSocket::LogStranger(const std::string& address) {
    // Once per passive port: a stranger who keeps connecting must not fill the log.
    if (m_strangerLogged) return;
    m_strangerLogged = true;
    m_session.Server().LogMessage(
        LogCategory::Error,
        "Data connection from " + address + " refused: only the client (" +
            m_session.Owner().PeerAddress() + ") may connect to its passive port.",
        LogSeverity::Warning);
}

void CDataSocket::OnConnect(int error) {
    if (error != 0) {
        m_connectFailed = true;  // OpenDataConnection replies
        return;
    }
    ConnectionMade();
}

void CDataSocket::ConnectionMade() {
    if (!m_session.Settings().tls.protectData) {
        m_connected = true;
        return;
    }
    // The client is the TLS client in both modes; the wait for the connection covers
    // the handshake.
    if (!StartTlsLike(m_session, kDataConnectTimeout)) {
        m_refusalReply = "425 Can't build data connection.";
        m_connectFailed = true;
    }
}

void CDataSocket::OnHandshake(int error) {
    if (error != 0) {
        m_session.Server().Metrics().CountTlsHandshake(TlsLeg::Data, false);
        m_session.Server().LogMessage(LogCategory::Error,
                                      "TLS: handshake on the data connection failed.");
        m_refusalReply = "425 TLS negotiation on the data connection failed.";
        m_connectFailed = true;
        return;
    }
    // SECURITY: only the client of this control connection holds its TLS session; a
    // connection that does not resume that very session (another client that found the
    // port, with a session of its own, or a client that would not reuse) gets no data.
    if (!TlsResumesSessionOf(m_session) && !FullHandshakeAllowed()) {
        m_session.Server().LogMessage(
            LogCategory::Error,
            "TLS: data connection refused: it did not resume the control connection's session.");
        m_refusalReply =
            "522 The data connection must resume the TLS session of the control "
            "connection.";
        m_connectFailed = true;
        return;
    }
    m_connected = true;
}

bool CDataSocket::FullHandshakeAllowed() {
    CFtpServer& server = m_session.Server();
    if (server.TlsRequiresReuse()) return false;
    // SECURITY: without resumption nothing proves this is the client; its address at
    // least must be the control connection's (OnAccept and PORT hold to it already).
    std::string address;
    std::uint16_t port = 0;
    if (!GetPeerName(address, port) || address != m_session.Owner().PeerAddress()) return false;
    if (!m_session.Settings().tls.fullHandshakeLogged) {
        m_session.Settings().tls.fullHandshakeLogged = true;
        server.LogMessage(LogCategory::Server,
                          "Client did not resume the TLS session on a data connection; accepted "
                          "(RequireReuse=0).");
    }
    return true;
}

void CDataSocket::OnClose(int /*error*/) {
    const SessionState state = m_session.State();
    if (state == SessionState::Uploading) {
        // The data sent before the close is read first; the step that finds the end
        // of the stream replies.
        while (ReceiveStep() > 0) {
        }
    } else if (state == SessionState::Listing) {
        EndTransfer("426 Connection closed.", TransferEvent::None);
    } else if (state == SessionState::Downloading) {
        EndTransfer("426 Connection closed.", TransferEvent::TransferFailed);
    } else {
        // Closed before any transfer started: nothing to answer now; the next
        // transfer command finds no connection.
        Close();
    }
    if (m_session.State() == SessionState::Listing ||
        m_session.State() == SessionState::Uploading ||
        m_session.State() == SessionState::Downloading)
        m_session.SetState(SessionState::Idle);
    m_connected = false;
}

void CDataSocket::OnSend(int /*error*/) {
    if (m_paceTimer != 0) return;
    if (m_session.State() == SessionState::Listing) ListingStep();
    if (m_session.State() == SessionState::Downloading) DownloadStep();
}

void CDataSocket::OnReceive(int /*error*/) {
    if (m_session.State() != SessionState::Uploading || !m_file.IsOpen()) {
        DrainUnexpected();
        return;
    }
    if (m_fastUpload) {
        // Unlimited: take what is there, up to a turn's worth, so that other sessions
        // and this session's control connection are served in between.
        std::int64_t moved = 0;
        long n = 0;
        while (moved < kBytesPerTurn && (n = ReceiveStep()) > 0) moved += n;
        return;
    }
    if (m_uploadLimited && m_uploadWindowStart == 0) m_uploadWindowStart = SteadyMilliseconds();
    const long n = ReceiveStep();
    if (m_uploadLimited && IsOpen()) PaceUpload(n);
}

void CDataSocket::DrainUnexpected() {
    if (m_session.State() == SessionState::Listing ||
        m_session.State() == SessionState::Downloading) {
        // A client has nothing to send on a download; reading it keeps the socket from
        // reporting the same bytes forever.
        char sink[kTransferChunk];
        for (int i = 0; i < 16 && Receive(sink, sizeof sink) > 0; ++i) {
        }
        return;
    }
    // No transfer yet: the bytes belong to the upload that is about to start.
    EnableRead(false);
}

void CDataSocket::EndTransfer(const char* reply, TransferEvent event) {
    ReportTransfer(event);
    CancelPaceTimer();
    if (m_inflater && event != TransferEvent::UploadDone) DiscardInflatedUpload();
    m_inflater.reset();
    m_deflater.reset();
    m_file.Close();
    Close();
    m_connected = false;
    m_position = 0;
    m_total = 0;
    m_listing.clear();
    FinishTransfer(m_session, reply, event);
}

void CDataSocket::StartPaceTimer(std::chrono::milliseconds wait, bool resumeReading) {
    CancelPaceTimer();
    m_paceTimer = Loop().AddTimer(wait, [this, resumeReading] {
        CancelPaceTimer();
        if (resumeReading) {
            m_uploadWindowBytes = 0;
            m_uploadWindowStart = 0;
            EnableRead(true);
        } else if (m_session.State() == SessionState::Downloading) {
            DownloadStep();
        }
    });
}

void CDataSocket::CancelPaceTimer() {
    if (m_paceTimer == 0) return;
    Loop().CancelTimer(m_paceTimer);
    m_paceTimer = 0;
}

bool CDataSocket::ReadLimits(LimitKind kind) {
    UserRecord user;
    const LookupStatus found = m_session.Accounts().LookUpUser(m_session.Server().ProgramDir(),
                                                               m_session.UserName(), user);
    // SECURITY: a transfer must not run without the limits and the quota it is held to.
    if (found.IsBusy() && kind != LimitKind::None) {
        LogAccountBusy(m_session);
        EndTransfer("451 Account data is busy, try again.", TransferEvent::None);
        return false;
    }
    if (!found.ok()) return true;
    if (kind == LimitKind::Download && user.downloadLimit == 1 && user.downloadSpeed > 0) {
        m_downloadLimited = true;
        m_downloadRate = SpeedToRate(user.downloadSpeed);
    }
    if (kind == LimitKind::Upload && user.uploadLimit == 1 && user.uploadSpeed > 0) {
        m_uploadLimited = true;
        m_uploadRate = SpeedToRate(user.uploadSpeed);
    }
    m_quotaMax = KbToBytes(user.quotaMax);
    m_quotaUsed = KbToBytes(user.quotaCurrent);
    return true;
}

// ---- Listings

void CDataSocket::SendListing(std::string text) {
    m_transferStarted = true;
    m_listing = std::move(text);
    m_total = static_cast<std::int64_t>(m_listing.size());
    m_position = 0;
    if (m_session.Settings().deflate && !DeflateListing()) {
        EndTransfer("451 Compression failed.", TransferEvent::None);
        return;
    }
    ListingStep();
}

void CDataSocket::ListingStep() {
    std::int64_t moved = 0;
    while (m_position < m_total) {
        if (moved >= kBytesPerTurn) {
            RequestSendNotification();
            return;
        }
        const auto offset = static_cast<std::size_t>(m_position);
        const std::size_t size = std::min(kTransferChunk, m_listing.size() - offset);
        const long sent = Send(m_listing.data() + offset, size);
        if (sent < 0) {
            if (LastError() == SocketError::kWouldBlock) return;  // OnSend continues
            EndTransfer("426 Connection closed.", TransferEvent::None);
            return;
        }
        m_position += sent;
        moved += sent;
        m_session.Owner().AddSentBytes(sent);
    }
    EndTransfer("226 Transfer complete.", TransferEvent::None);
}

// ---- Downloads

void CDataSocket::AbandonDownload(const char* reply) {
    m_file.Close();
    FinishTransfer(m_session, reply, TransferEvent::None);
}

void CDataSocket::StartDownload(const std::string& path, std::int64_t restartOffset) {
    m_transferStarted = true;
    m_file.Close();
    m_total = m_file.OpenRead(path) ? m_file.LengthAtOpen() : -1;
    if (m_total < 0) {
        AbandonDownload("426 Connection closed.");
        return;
    }
    // The file may have shrunk since RETR looked: an offset past its end is refused
    // as RETR refuses it, never read as a start at 0.
    if (restartOffset < 0 || restartOffset > m_total) {
        AbandonDownload("554 Invalid REST parameter.");
        return;
    }
    m_position = restartOffset;
    m_record = TransferRecord{true, false, path, SteadyMilliseconds(), restartOffset};
    if (m_session.Settings().deflate && !StartDeflating()) {
        AbandonDownload("451 Compression failed.");
        return;
    }
    DownloadStep();
}

long CDataSocket::SendDownloadChunk(bool fastPath, long& attempted) {
    const std::int64_t left = m_total - m_position;
    if (fastPath) {
        std::int64_t offset = m_position;
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(left, kFastSendStep));
        attempted = static_cast<long>(count);
        return SendFile(m_file.Handle(), &offset, count);
    }
    // Read again at the position every time: a partial or refused send needs no
    // buffer of its own.
    const auto size = static_cast<std::size_t>(
        std::min<std::int64_t>({left, m_downloadRate, static_cast<std::int64_t>(kMaxPacedRead)}));
    if (m_buffer.size() < size) m_buffer.resize(size);
    const long got = m_file.ReadAt(m_position, m_buffer.data(), size);
    attempted = got;
    if (got <= 0) return 0;
    return Send(m_buffer.data(), static_cast<std::size_t>(got));
}

bool CDataSocket::WaitForNextSlot(std::int64_t& slotBytes, std::int64_t& slotStart) {
    const std::int64_t elapsed = SteadyMilliseconds() - slotStart;
    if (elapsed < kPaceSlot.count()) {
        StartPaceTimer(std::chrono::milliseconds(kPaceSlot.count() - elapsed), false);
        return true;
    }
    slotBytes = 0;
    slotStart = SteadyMilliseconds();
    return false;
}

void CDataSocket::DownloadStep() {
    if (m_deflater) {
        DeflatedDownloadStep();
        return;
    }
    if (m_paceTimer != 0 || !m_file.IsOpen()) return;
    const bool fastPath = !m_downloadLimited && m_quotaMax == 0;
    std::int64_t moved = 0;      // this turn
    std::int64_t slotBytes = 0;  // this pace slot
    std::int64_t slotStart = SteadyMilliseconds();
    while (m_position < m_total) {
        // The session is closing: leave the rest to the end of the thread.
        if (Loop().IsQuitPending()) return;
        if (!m_downloadLimited && moved >= kBytesPerTurn) {
            RequestSendNotification();
            return;
        }
        long attempted = 0;
        const long sent = SendDownloadChunk(fastPath, attempted);
        if (sent == 0) {
            // The file ended before its length at the start: it shrank meanwhile.
            EndTransfer("426 Connection closed.", TransferEvent::DownloadFailed);
            return;
        }
        if (sent < 0) {
            if (LastError() == SocketError::kWouldBlock) return;  // OnSend resends from here
            EndTransfer("426 Connection closed.", TransferEvent::DownloadFailed);
            return;
        }
        m_position += sent;
        moved += sent;
        slotBytes += sent;
        m_fileBytesSent += sent;
        m_session.Owner().AddSentBytes(sent);
        // A slot ends with its rate sent, with a partial send, or with the file's end.
        if (m_downloadLimited &&
            (slotBytes >= m_downloadRate || sent < attempted || m_position >= m_total) &&
            WaitForNextSlot(slotBytes, slotStart))
            return;
    }
    EndTransfer("226 Transfer complete.", TransferEvent::DownloadDone);
}
