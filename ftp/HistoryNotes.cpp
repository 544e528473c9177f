#include "ftp/HistoryNotes.h"

#include "accounts/AccountStore.h"
#include "ftp/DataSocket.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"
#include "server/TransferHistory.h"

void NoteTransferInHistory(CControlSocket& session, TransferEvent event) {
    const CDataSocket* socket = session.DataSocket();
    const std::int64_t up = socket != nullptr ? socket->FileBytesReceived() : 0;
    const std::int64_t down = socket != nullptr ? socket->FileBytesSent() : 0;
    // A listing, or a refusal before any byte: nothing to keep.
    if (event == TransferEvent::None && up == 0 && down == 0) return;
    // Only a logged-in session transfers, so the name is an account's (in some letter case).
    session.Server().History().NoteTransfer(session.UserName(), event, up, down);
}

void NoteRefusedLoginInHistory(CFtpServer& server, const UserRecord* account) {
    server.History().NoteFailedLogin(account != nullptr ? account->name : std::string());
}
