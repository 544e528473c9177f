// The receiving side of the data socket: uploads, their speed limit and the quota.
#include <algorithm>

#include "ftp/DataSocket.h"
#include "ftp/TransferEnd.h"
#include "ftp/TransferLimits.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

void CDataSocket::StartUpload(const std::string& path, std::int64_t keepBytes) {
    m_transferStarted = true;
    if (m_quotaMax != 0 && m_quotaUsed >= m_quotaMax) {
        FinishTransfer(m_session, "452 Disk quota exceeded. Transfer aborted.",
                       TransferEvent::None);
        return;
    }
    m_file.Close();
    // The file is cut only once it is ours: a refused second upload leaves it alone.
    // A file that shrank below the kept part since the command checked it is refused
    // too, rather than padded.
    if (!m_file.OpenWrite(path) || !m_file.KeepFirst(keepBytes)) {
        m_file.Close();
        FinishTransfer(m_session, "450 Can't access file.", TransferEvent::TransferFailed);
        return;
    }
    m_position = 0;
    m_record = TransferRecord{true, true, path, SteadyMilliseconds(), 0};
    if (m_session.Settings().deflate) {
        if (!StartInflating(keepBytes)) {
            m_file.Close();
            FinishTransfer(m_session, "451 Decompression failed.", TransferEvent::TransferFailed);
        }
        return;
    }
    m_fastUpload = !m_uploadLimited && m_quotaMax == 0;
    // Unlimited plain uploads go from the socket to the file through a pipe, one copy
    // fewer than through a buffer; limited ones keep their 4096-byte steps, and TLS
    // bytes must pass through the decryption of Receive.
    if (m_fastUpload && !IsTls() && !m_session.Settings().tls.protectData &&
        m_splicePipe.Open(kUploadPipeBytes))
        return;
    m_buffer.resize(m_fastUpload ? kFastReceiveBuffer : kTransferChunk);
}

long CDataSocket::ReceiveChunk() {
    if (m_inflater) return ReceiveInflatedChunk();
    if (m_splicePipe.IsOpen()) {
        const long count = ReceiveIntoPipe(m_splicePipe.WriteEnd(), m_splicePipe.Capacity());
        if (count <= 0) return count;
        return m_file.WriteFromPipe(m_splicePipe.ReadEnd(), static_cast<std::size_t>(count)) ? count
                                                                                             : -2;
    }
    const long count = Receive(m_buffer.data(), m_buffer.size());
    if (count <= 0) return count;
    if (!QuotaAllows(count)) return count;
    return m_file.Write(m_buffer.data(), static_cast<std::size_t>(count)) ? count : -2;
}

long CDataSocket::ReceiveStep() {
    if (m_session.State() != SessionState::Uploading || !m_file.IsOpen()) return 0;
    const long count = ReceiveChunk();
    if (count == -1) {
        if (LastError() == SocketError::kWouldBlock) return -1;
        if (LastError() == SocketError::kTlsTruncated) {
            // Without close_notify nothing tells a complete upload from a cut one.
            m_session.Server().LogMessage(
                LogCategory::Error,
                "TLS: the upload ended without close_notify; the file may be truncated.");
            EndTransfer(
                "426 Upload truncated: the data connection closed without TLS "
                "close_notify.",
                TransferEvent::TransferFailed);
            return -1;
        }
        EndTransfer("426 Connection error.", TransferEvent::TransferFailed);
        return -1;
    }
    if (count == -2) {
        m_session.Server().LogMessage(LogCategory::Error, m_file.GetLastError());
        EndTransfer("450 Can't access file.", TransferEvent::TransferFailed);
        return 0;
    }
    if (count == -3) {
        EndTransfer("426 Upload refused: the compressed data is damaged.",
                    TransferEvent::TransferFailed);
        return 0;
    }
    if (count == 0) {
        if (m_inflater && !m_inflater->HasEnded()) {
            EndTransfer("426 Upload truncated: the compressed data ended early.",
                        TransferEvent::TransferFailed);
            return 0;
        }
        EndTransfer("226 Transfer complete.", TransferEvent::UploadDone);
        return 0;
    }
    m_fileBytesReceived += count;
    m_session.Owner().AddReceivedBytes(count);
    // A refused chunk has ended the transfer already (QuotaAllows replied).
    return m_session.State() == SessionState::Uploading ? count : 0;
}

bool CDataSocket::QuotaAllows(std::int64_t count) {
    if (m_quotaMax == 0) return true;
    // Counted even when refused: the refused chunk was received, and is booked.
    m_bytesReceived += count;
    if (m_quotaUsed + m_bytesReceived < m_quotaMax) return true;
    EndTransfer("452 Disk quota exceeded. Transfer aborted.", TransferEvent::None);
    return false;
}

void CDataSocket::PaceUpload(long received) {
    if (received > 0) m_uploadWindowBytes += received;
    if (m_uploadWindowBytes < m_uploadRate) return;
    const std::int64_t elapsed = SteadyMilliseconds() - m_uploadWindowStart;
    if (elapsed < kPaceSlot.count()) {
        // Stop reading for the rest of the slot instead of sleeping: the control
        // connection (ABOR, QUIT) is still served meanwhile.
        EnableRead(false);
        StartPaceTimer(std::chrono::milliseconds(kPaceSlot.count() - elapsed), true);
        return;
    }
    m_uploadWindowBytes = 0;
    m_uploadWindowStart = 0;
}
