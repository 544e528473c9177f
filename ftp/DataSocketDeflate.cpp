// MODE Z on the data socket: listings and downloads deflated before they are sent,
// uploads inflated before they are written. Speed limits count the bytes on the wire,
// the quota the bytes written to the file.
#include <algorithm>
#include <string_view>

#include "ftp/DataSocket.h"
#include "ftp/TransferLimits.h"
#include "platform/Clock.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

bool CDataSocket::DeflateListing() {
    CDeflater deflater(m_session.Settings().deflateLevel);
    std::vector<char> deflated;
    if (!deflater.IsOk() || !deflater.Compress(m_listing, true, deflated)) return false;
    m_listing.assign(deflated.begin(), deflated.end());
    m_total = static_cast<std::int64_t>(m_listing.size());
    return true;
}

// ---- Downloads

bool CDataSocket::StartDeflating() {
    m_deflater = std::make_unique<CDeflater>(m_session.Settings().deflateLevel);
    m_deflated.clear();
    m_deflatedSent = 0;
    m_deflateFinished = false;
    return m_deflater->IsOk();
}

bool CDataSocket::DeflateNextPart() {
    const auto size =
        static_cast<std::size_t>(std::min<std::int64_t>(m_total - m_position, kDeflatePart));
    if (m_buffer.size() < size) m_buffer.resize(size);
    const long got = size > 0 ? m_file.ReadAt(m_position, m_buffer.data(), size) : 0;
    if (got < 0 || (size > 0 && got == 0)) return false;
    m_position += got;
    // The stream ends at the length the file had when the download started, as a
    // stream-mode download does.
    m_deflateFinished = m_position >= m_total;
    m_deflated.clear();
    m_deflatedSent = 0;
    return m_deflater->Compress(std::string_view(m_buffer.data(), static_cast<std::size_t>(got)),
                                m_deflateFinished, m_deflated);
}

void CDataSocket::DeflatedDownloadStep() {
    if (m_paceTimer != 0 || !m_file.IsOpen()) return;
    std::int64_t moved = 0;      // this turn
    std::int64_t slotBytes = 0;  // this pace slot
    std::int64_t slotStart = SteadyMilliseconds();
    for (;;) {
        if (Loop().IsQuitPending()) return;
        if (m_deflatedSent == m_deflated.size()) {
            if (m_deflateFinished) break;
            if (!DeflateNextPart()) {
                EndTransfer("426 Connection closed.", TransferEvent::DownloadFailed);
                return;
            }
            continue;
        }
        if (!m_downloadLimited && moved >= kBytesPerTurn) {
            RequestSendNotification();
            return;
        }
        const std::size_t left = m_deflated.size() - m_deflatedSent;
        const std::size_t size =
            m_downloadLimited ? static_cast<std::size_t>(std::min<std::int64_t>(
                                    static_cast<std::int64_t>(left), m_downloadRate - slotBytes))
                              : left;
        const long sent = Send(m_deflated.data() + m_deflatedSent, size);
        if (sent <= 0) {
            if (sent < 0 && LastError() == SocketError::kWouldBlock) return;  // OnSend goes on
            EndTransfer("426 Connection closed.", TransferEvent::DownloadFailed);
            return;
        }
        m_deflatedSent += static_cast<std::size_t>(sent);
        moved += sent;
        slotBytes += sent;
        m_fileBytesSent += sent;
        m_session.Owner().AddSentBytes(sent);
        const bool atEnd = m_deflateFinished && m_deflatedSent == m_deflated.size();
        if (m_downloadLimited &&
            (slotBytes >= m_downloadRate || static_cast<std::size_t>(sent) < size || atEnd) &&
            WaitForNextSlot(slotBytes, slotStart))
            return;
    }
    EndTransfer("226 Transfer complete.", TransferEvent::DownloadDone);
}

// ---- Uploads

bool CDataSocket::StartInflating(std::int64_t keepBytes) {
    m_inflater = std::make_unique<CInflater>();
    m_keptBytes = keepBytes;
    // One compressed chunk per read notification: a chunk may inflate a thousandfold,
    // so the larger steps of plain uploads would hold the session too long.
    m_fastUpload = false;
    m_buffer.resize(kTransferChunk);
    m_inflated.resize(kInflateStep);
    return m_inflater->IsOk();
}

long CDataSocket::ReceiveInflatedChunk() {
    const long count = Receive(m_buffer.data(), m_buffer.size());
    if (count <= 0) return count;
    m_inflater->Feed(m_buffer.data(), static_cast<std::size_t>(count));
    for (;;) {
        std::size_t produced = 0;
        const InflateResult result =
            m_inflater->Inflate(m_inflated.data(), m_inflated.size(), produced);
        // SECURITY: every inflated step passes the quota and the free-room bound before it
        // is written, so a small stream that inflates to much more stops there, not at a
        // full disk.
        if (produced > 0) {
            if (!QuotaAllows(static_cast<std::int64_t>(produced))) return count;
            if (!LeavesFreeRoom(produced)) {
                EndTransfer("452 Insufficient storage space: the upload would fill the disk.",
                            TransferEvent::TransferFailed);
                return count;
            }
            if (!m_file.Write(m_inflated.data(), produced)) return -2;
        }
        if (result == InflateResult::Damaged) return -3;
        if (result != InflateResult::Produced) return count;
    }
}

bool CDataSocket::LeavesFreeRoom(std::size_t bytes) const {
    std::int64_t available = 0;
    std::int64_t size = 0;
    if (!m_file.FileSystemSpace(available, size)) return false;
    return available - static_cast<std::int64_t>(bytes) >= size / kInflateFreeShare;
}

void CDataSocket::DiscardInflatedUpload() {
    // A compressed upload is kept whole or not at all: its only check of the data
    // (the stream's closing checksum) comes at its end, so what a damaged, cut or
    // refused stream inflated to is unverified; an APPE leaves the file as it was.
    if (!m_file.IsOpen()) return;
    if (!m_file.KeepFirst(m_keptBytes)) {
        m_session.Server().LogMessage(LogCategory::Error, m_file.GetLastError());
        return;
    }
    // Nothing of it stays, so nothing of it is booked against the quota.
    m_bytesReceived = 0;
}

void CDataSocket::AbandonUnfinishedUpload() {
    if (!m_inflater) return;
    DiscardInflatedUpload();
    m_inflater.reset();
    m_file.Close();
}
