// AUTH, PBSZ, PROT and CCC (RFC 4217), and what the TLS policy refuses.
#include "config/TlsPolicy.h"
#include "ftp/Commands.h"
#include "ftp/TlsRules.h"
#include "platform/Text.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

// AUTH SSL and the draft's TLS-C and TLS-P name the same mechanism as AUTH TLS.
bool IsTlsMechanism(const std::string& name) {
    for (const char* known : {"TLS", "TLS-C", "TLS-P", "SSL"})
        if (EqualsNoCase(name, known)) return true;
    return false;
}

bool NeedsTlsFirst(CControlSocket& session, const char* command) {
    if (session.IsTls()) return false;
    session.SendReply("503 %s needs a TLS connection: send AUTH TLS first.", command);
    return true;
}

}  // namespace

void CmdAuth(CControlSocket& session, const std::string& argument) {
    if (!IsTlsMechanism(argument)) {
        session.SendReply("504 Security mechanism not understood: use AUTH TLS.");
        return;
    }
    if (session.IsTls()) {
        session.SendReply("503 The connection is already using TLS.");
        return;
    }
    // The name and password must not have crossed the network in clear already.
    if (session.State() != SessionState::NotLoggedIn) {
        session.SendReply("503 AUTH must come before login.");
        return;
    }
    const std::shared_ptr<CTlsContext> context = session.Server().Tls().Context(session.Server());
    if (!context) {
        session.SendReply("431 TLS is not available: the server certificate cannot be used.");
        return;
    }
    if (!session.SendReply("234 Proceed with TLS negotiation.")) return;
    (void)session.SwitchToTls(*context);
}

void CmdPbsz(CControlSocket& session, const std::string&) {
    if (NeedsTlsFirst(session, "PBSZ")) return;
    // TLS keeps its own record boundaries: the only size is 0, whatever was asked for.
    session.Settings().tls.bufferSizeSet = true;
    session.SendReply("200 PBSZ=0");
}

void CmdProt(CControlSocket& session, const std::string& argument) {
    if (NeedsTlsFirst(session, "PROT")) return;
    TlsSettings& tls = session.Settings().tls;
    if (!tls.bufferSizeSet) {
        session.SendReply("503 PBSZ must come before PROT.");
        return;
    }
    if (EqualsNoCase(argument, "P")) {
        tls.protectData = true;
        session.SendReply("200 Protection level set to P.");
    } else if (EqualsNoCase(argument, "C")) {
        // SECURITY: a client of the implicit port takes its data to be protected; a
        // PROT C would send it in clear, whatever the policy.
        if (session.IsImplicitTls()) {
            session.SendReply(
                "534 Clear data connections are not allowed on the implicit FTPS port: use "
                "PROT P.");
            return;
        }
        if (session.Server().Tls().Policy() == TlsPolicy::LoginAndDataRequired) {
            session.SendReply("534 Clear data connections are not allowed: use PROT P.");
            return;
        }
        tls.protectData = false;
        session.SendReply("200 Protection level set to C.");
    } else if (EqualsNoCase(argument, "S") || EqualsNoCase(argument, "E")) {
        session.SendReply("536 Protection level not supported: use PROT P or PROT C.");
    } else {
        session.SendReply("504 Protection level not understood: use PROT P or PROT C.");
    }
}

void CmdCcc(CControlSocket& session, const std::string&) {
    // SECURITY: a control connection that went back to clear text could be taken over.
    session.SendReply("534 CCC is refused: the control connection stays encrypted.");
}

bool TlsAllowsCommand(CControlSocket& session, const std::string& keyword) {
    if (session.IsTls() || session.Server().Tls().Policy() == TlsPolicy::PlainAllowed) return true;
    if (keyword != "USER" && keyword != "PASS") return true;
    session.SendReply("530 TLS is required: send AUTH TLS before logging in.");
    return false;
}

bool TlsAllowsDataConnection(CControlSocket& session) {
    if (session.Settings().tls.protectData ||
        session.Server().Tls().Policy() != TlsPolicy::LoginAndDataRequired)
        return true;
    session.SendReply("521 Data connections must be encrypted: send PROT P.");
    return false;
}
