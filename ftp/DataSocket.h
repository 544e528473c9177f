// The single data connection of a session: set up by PASV or a transfer command,
// then used for exactly one listing, download or upload. Lives on, and is used
// only by, the session's connection thread; the session owns it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ftp/TransferLimits.h"
#include "ftp/ZStream.h"
#include "platform/DataFile.h"
#include "platform/EventLoop.h"
#include "platform/Pipe.h"
#include "platform/Socket.h"
#include "server/SessionEvents.h"

class CControlSocket;

// What a transfer reads from the account when it starts.
enum class LimitKind { None, Download, Upload };

class CDataSocket : public CAsyncSocket {
public:
    explicit CDataSocket(CControlSocket& session);
    // Closes the socket and the file; cancels a pending pace timer.
    ~CDataSocket() override;

    // Unique per process; tells a waiter whether the session still holds this socket.
    std::uint64_t Serial() const { return m_serial; }

    // ---- Set-up

    // Creates a socket of `family` (V6 is dual stack) and binds it, listening, to the
    // first free port of `low` to `high`, searching from `first` and wrapping at the
    // end of the range, retrying rounds for up to 10 s while all are in use. False on
    // any other failure or at the time-out.
    [[nodiscard]] bool BindPassivePort(std::uint32_t low, std::uint32_t high, std::uint32_t first,
                                       AddressFamily family = AddressFamily::V4);
    // The port BindPassivePort bound; 0 before.
    std::uint16_t PassivePort() const { return m_passivePort; }
    bool IsConnected() const { return m_connected; }
    bool ConnectFailed() const { return m_connectFailed; }
    // The reply for a connection that was made but refused (TLS); empty otherwise.
    const std::string& RefusalReply() const { return m_refusalReply; }
    // True while a command waits for this connection, or a transfer runs on it; such a
    // socket serves no second command.
    bool IsBusy() const { return m_claimed || (m_transferStarted && IsOpen()); }
    void SetClaimed(bool claimed) { m_claimed = claimed; }

    // ---- Transfers (after the connection is up)

    // Reads the user's limit of `kind` and the quota into this socket. Without the
    // account, no limit and no quota apply. When the account tables stay locked, a
    // download or upload (whose limits and quota must hold) ends at once with
    // "451 Account data is busy, try again." and the result is false.
    [[nodiscard]] bool ReadLimits(LimitKind kind);
    // Starts sending a listing text; the end is replied to the client.
    void SendListing(std::string text);
    // Opens `path` and starts sending it from `restartOffset`; an offset past its end
    // is answered 554 and sends nothing.
    void StartDownload(const std::string& path, std::int64_t restartOffset);
    // Opens `path` for writing, cut to `keepBytes`; receiving starts with the next read
    // notification. The quota and a second upload of the file are refused here.
    void StartUpload(const std::string& path, std::int64_t keepBytes);
    // Receives and writes one chunk: bytes received, 0 when the upload has ended or
    // nothing is to be done, -1 when nothing was received.
    long ReceiveStep();

    // What an upload received (counted when a quota applies) and the quota it was held
    // to (0: none), for the booking when the connection ends (ftp/TransferEnd.h).
    std::int64_t BytesReceived() const { return m_bytesReceived; }
    std::int64_t QuotaMaximum() const { return m_quotaMax; }
    // Called when the connection goes while an upload still runs (ABOR, the session's
    // end): a compressed upload is discarded as a failed one is (see EndTransfer).
    void AbandonUnfinishedUpload();
    // The bytes of files this connection moved on the wire (compressed ones as sent), a
    // partial transfer's included (listings are not files), for the transfer history.
    std::int64_t FileBytesSent() const { return m_fileBytesSent; }
    std::int64_t FileBytesReceived() const { return m_fileBytesReceived; }

protected:
    void OnReceive(int error) override;
    void OnSend(int error) override;
    void OnAccept(int error) override;
    void OnConnect(int error) override;
    void OnClose(int error) override;
    void OnHandshake(int error) override;

private:
    // The connection is up: under PROT P it is usable once its TLS handshake has resumed
    // the control connection's session.
    void ConnectionMade();
    // RequireReuse=0 lets a PROT P connection of the client's own address in with a
    // full handshake; logged once per session.
    bool FullHandshakeAllowed();
    void LogStranger(const std::string& address);
    // Keeps the port BindPassivePort bound, without asking the system again.
    void NotePassivePort(std::uint16_t bound);
    void ListingStep();
    // Ends a download that cannot start: the file closes, `reply` goes out, the data
    // connection follows.
    void AbandonDownload(const char* reply);
    void DownloadStep();
    // One send of the download: bytes sent, 0 when the file ran short, -1 on failure;
    // `attempted` is how many bytes were offered.
    long SendDownloadChunk(bool fastPath, long& attempted);
    bool QuotaAllows(std::int64_t count);
    // ReceiveStep's read and write: bytes moved, 0 at the end of the stream, -1 when the
    // socket failed (LastError), -2 when the file could not be written, -3 when a
    // compressed upload's data is damaged.
    long ReceiveChunk();
    // A limited download's slot is full: true when the rest of the slot is waited out
    // (the pace timer goes on), false when the next slot starts now.
    bool WaitForNextSlot(std::int64_t& slotBytes, std::int64_t& slotStart);

    // MODE Z (ftp/DataSocketDeflate.cpp). Start* read the session's mode and level.
    bool DeflateListing();
    bool StartDeflating();
    void DeflatedDownloadStep();
    // Reads and deflates the next part of the file; false when it cannot be read or
    // shrank, or zlib failed.
    bool DeflateNextPart();
    bool StartInflating(std::int64_t keepBytes);
    long ReceiveInflatedChunk();
    // False when writing `bytes` more would leave the file system less free room than
    // kInflateFreeShare allows (or its room cannot be read).
    bool LeavesFreeRoom(std::size_t bytes) const;
    void DiscardInflatedUpload();
    void PaceUpload(long received);
    void StartPaceTimer(std::chrono::milliseconds wait, bool resumeReading);
    void CancelPaceTimer();
    void DrainUnexpected();
    // Ends the listing or transfer: closes the file and the connection, then
    // FinishTransfer (ftp/TransferEnd.h) with `reply` and `event`.
    void EndTransfer(const char* reply, TransferEvent event);
    // The download or upload that started on this socket has ended with `event`: it goes
    // to the audit log (ftp/TransferAudit.cpp). Nothing for a listing.
    void ReportTransfer(TransferEvent event);
    EventLoop& Loop();

    bool m_connected = false;
    bool m_strangerLogged = false;
    std::uint16_t m_passivePort = 0;
    bool m_downloadLimited = false;
    bool m_uploadLimited = false;
    std::int64_t m_downloadRate = kTransferChunk;  // bytes per second; also one read when unlimited
    std::int64_t m_uploadRate = 4096;
    std::int64_t m_uploadWindowBytes = 0;
    std::int64_t m_uploadWindowStart = 0;  // steady milliseconds; 0: not started
    std::int64_t m_quotaMax = 0;
    std::int64_t m_quotaUsed = 0;
    std::int64_t m_bytesReceived = 0;
    std::int64_t m_fileBytesSent = 0;
    std::int64_t m_fileBytesReceived = 0;
    std::int64_t m_position = 0;
    std::int64_t m_total = 0;
    CDataFile m_file;
    std::string m_listing;
    CControlSocket& m_session;

    const std::uint64_t m_serial;
    bool m_connectFailed = false;
    std::string m_refusalReply;
    bool m_claimed = false;
    bool m_transferStarted = false;
    bool m_fastUpload = false;  // no limit, no quota: larger steps
    CPipe m_splicePipe;         // open when a fast upload moves its bytes by splice
    EventLoop::TimerId m_paceTimer = 0;
    std::vector<char> m_buffer;

    // MODE Z state of the running transfer; null in stream mode.
    std::unique_ptr<CDeflater> m_deflater;
    std::vector<char> m_deflated;  // deflated, not yet sent
    std::size_t m_deflatedSent = 0;
    bool m_deflateFinished = false;  // the stream's end is in m_deflated
    std::unique_ptr<CInflater> m_inflater;
    std::vector<char> m_inflated;
    std::int64_t m_keptBytes = 0;  // what the upload started after (REST, APPE)
    // The running download or upload, as the audit log reports it at its end.
    struct TransferRecord {
        bool active = false;
        bool upload = false;
        std::string path;
        std::int64_t startMs = 0;      // SteadyMilliseconds
        std::int64_t startOffset = 0;  // a download's restart offset
    };
    TransferRecord m_record;
};
