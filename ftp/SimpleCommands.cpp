// Commands that need neither an account nor a file.
#include "ftp/Commands.h"
#include "ftp/HookReports.h"
#include "platform/Messages.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

void CmdNoop(CControlSocket& session, const std::string&) {
    session.SendReply("200 NOOP command successful.");
}

void CmdSyst(CControlSocket& session, const std::string&) { session.SendReply("215 UNIX."); }

void CmdHelp(CControlSocket& session, const std::string&) { session.SendReply("501 Bad command."); }

void CmdType(CControlSocket& session, const std::string& argument) {
    session.Settings().typeShown = argument == "A" || argument == "a" ? "ASCII" : argument;
    if (argument == "A" || argument == "a")
        session.SendReply("200 Type is now ASCII");
    else
        session.SendReply("200 Type is now %s", argument.c_str());
}

void CmdQuit(CControlSocket& session, const std::string&) {
    // The client may reconnect the moment it reads the goodbye.
    session.Owner().ReleaseUserSlot();
    session.SendReply("220 %s", session.Server().GetGoodbyeMessage().c_str());
    session.EndSession();
}

void CmdAbor(CControlSocket& session, const std::string&) {
    if (session.HasDataSocket()) {
        if (session.State() != SessionState::Idle) session.SendReply("426 Data connection closed.");
        const SessionState state = session.State();
        if (state == SessionState::Uploading || state == SessionState::Downloading ||
            state == SessionState::Listing) {
            // The transfer is over now, not when its connection goes: a client that closes
            // that connection after reading the 226 must not have its cut upload taken for
            // a complete one (a second 226 and an UploadComplete).
            ReportTransferCut(session);
            session.SetState(SessionState::Idle);
        }
        // Closed when the message is handled, after this command has finished.
        session.CloseDataConnectionLater();
    }
    session.SendReply("226 ABOR command successful.");
}

void CmdNotImplemented(CControlSocket& session, const std::string&) {
    session.SendReply("502 Command not implemented.");
}
