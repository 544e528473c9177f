#include "ftp/TransferEnd.h"

#include <cstdint>
#include <mutex>

#include "accounts/AccountStore.h"
#include "ftp/DataSocket.h"
#include "ftp/HistoryNotes.h"
#include "ftp/HookReports.h"
#include "ftp/ResolveReplies.h"
#include "ftp/TransferLimits.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

bool IsTransferring(SessionState state) {
    return state == SessionState::Listing || state == SessionState::Uploading ||
           state == SessionState::Downloading;
}

// Books `receivedBytes` of a closed upload against the user's quota (every started
// KiB) when the account has one (`quotaMaximum` not 0); a busy account is logged and
// left as it is.
void BookUpload(CControlSocket& session, std::int64_t receivedBytes, std::int64_t quotaMaximum) {
    if (quotaMaximum == 0) return;
    // Ordered with DELE and the other sessions of the user; an account that cannot be
    // read or written is left as it is.
    std::lock_guard lock(session.Server().ConnectionLock());
    // SECURITY: every started KiB is booked (StartedKiB).
    const LookupStatus booked =
        AddQuotaCurrent(session.Server().ProgramDir(), session.UserName(),
                        static_cast<double>(StartedKiB(receivedBytes)), false);
    if (booked.IsBusy()) LogAccountBusy(session);
}

}  // namespace

void FinishTransfer(CControlSocket& session, const char* reply, TransferEvent event) {
    NoteTransferInHistory(session, event);
    ReportTransferEnd(session, reply, event);
    session.SetState(SessionState::Idle);
    session.SendReply("%s", reply);
    session.CloseDataConnectionLater();
    session.Owner().ReportTransferEvent(event);
}

void EndDataConnection(CControlSocket& session) {
    CDataSocket* socket = session.DataSocket();
    if (socket == nullptr) return;
    socket->AbandonUnfinishedUpload();
    const std::int64_t received = socket->BytesReceived();
    const std::int64_t quotaMax = socket->QuotaMaximum();
    session.SetDataSocket(nullptr);
    // After the socket, which holds the file open, and before the settings naming it go.
    ReportTransferCut(session);
    session.Settings().data = {};
    // A transfer cannot outlive its connection (ABOR ends one this way).
    if (IsTransferring(session.State())) session.SetState(SessionState::Idle);
    BookUpload(session, received, quotaMax);
}
