// FEAT, OPTS, MDTM, MFMT and STAT without a path.
#include <cinttypes>

#include "ftp/CommandTable.h"
#include "ftp/Commands.h"
#include "ftp/ListFormat.h"
#include "ftp/PathResolver.h"
#include "ftp/ResolveReplies.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"

namespace {

std::string DataConnectionText(const CControlSocket& session) {
    if (session.HasDataSocket()) return "open";
    const DataSettings& data = session.Settings().data;
    if (data.passive) return "passive, waiting";
    if (data.portPort >= 0) return "active, to " + data.portAddress;
    return "none";
}

}  // namespace

void CmdFeat(CControlSocket& session, const std::string&) {
    session.SendReply("211-Features:");
    for (const FeatLine& feat : FeatLines()) {
        std::string line =
            " " + (feat.isHashList ? HashFeatureText(session) : std::string(feat.text));
        if (feat.withMlstFacts) line += " " + MlstFeatureFacts(session.Settings().mlstFacts);
        session.SendReply("%s", line.c_str());
    }
    session.SendReply("211 End");
}

void CmdOpts(CControlSocket& session, const std::string& argument) {
    // Names pass through as bytes and the platform uses UTF-8, so both settings hold.
    if (EqualsNoCase(argument, "UTF8 ON") || EqualsNoCase(argument, "UTF8 OFF") ||
        EqualsNoCase(argument, "UTF8")) {
        session.SendReply("200 UTF8 set to %s.", EqualsNoCase(argument, "UTF8 OFF") ? "off" : "on");
        return;
    }
    // RFC 3659: "MLST" alone or followed by a blank and the fact list.
    if (EqualsNoCase(std::string_view(argument).substr(0, 4), "MLST") &&
        (argument.size() == 4 || argument[4] == ' ')) {
        CmdOptsMlst(session, argument.size() > 5 ? argument.substr(5) : std::string());
        return;
    }
    if (EqualsNoCase(std::string_view(argument).substr(0, 5), "MODE ")) {
        CmdOptsMode(session, argument.substr(5));
        return;
    }
    if (EqualsNoCase(std::string_view(argument).substr(0, 4), "HASH") &&
        (argument.size() == 4 || argument[4] == ' ')) {
        CmdOptsHash(session, argument.size() > 5 ? argument.substr(5) : std::string());
        return;
    }
    session.SendReply("501 Option not understood.");
}

void CmdMdtm(CControlSocket& session, const std::string& argument) {
    std::string local;
    if (ReplyUnlessFileFound(session,
                             ResolveFilePath(session, argument, PermissionKind::Read, local)))
        return;
    session.SendReply("213 %s", FormatUtcTime(GetModifyTime(local), "%Y%m%d%H%M%S").c_str());
}

void CmdMfmt(CControlSocket& session, const std::string& argument) {
    const auto blank = argument.find(' ');
    std::int64_t seconds = 0;
    if (blank == std::string::npos || !ParseUtcTimestamp(argument.substr(0, blank), seconds)) {
        session.SendReply("501 Syntax error in parameters or arguments.");
        return;
    }
    const std::string path = argument.substr(blank + 1);
    std::string local;
    const PathResolution result = ResolveFilePath(session, path, PermissionKind::Write, local);
    if (result.IsFound() && !PathExists(local, false)) {
        session.SendReply("550 File unavailable.");
        return;
    }
    if (ReplyUnlessFileFound(session, result)) return;
    if (!SetModifyTime(local, seconds)) {
        session.SendReply("450 Can't set the modification time.");
        return;
    }
    // The file system may store another time than asked (its range ends somewhere);
    // the reply tells what it holds now.
    const std::int64_t stored = GetModifyTime(local);
    session.SendReply("213 Modify=%s; %s", FormatUtcTime(stored, "%Y%m%d%H%M%S").c_str(),
                      path.c_str());
}

void CmdStat(CControlSocket& session, const std::string& argument) {
    if (!argument.empty()) {
        CmdStatPath(session, argument);
        return;
    }
    CConnectThread& thread = session.Owner();
    session.SendReply("211-Tarvona FTP Server status:");
    session.SendReply(" Connected from %s", session.UserAddress().empty()
                                                ? thread.PeerAddress().c_str()
                                                : session.UserAddress().c_str());
    session.SendReply(" Logged in as %s", session.UserName().c_str());
    session.SendReply(" TYPE: %s", session.Settings().typeShown.c_str());
    if (session.IsTls())
        session.SendReply(" Control connection: TLS (%s); data connections: %s",
                          session.TlsDescription().c_str(),
                          session.Settings().tls.protectData ? "TLS (PROT P)" : "clear (PROT C)");
    else
        session.SendReply(" Control connection: clear");
    session.SendReply(" Data connection: %s", DataConnectionText(session).c_str());
    session.SendReply(" %d transfers completed; %" PRId64 " bytes received, %" PRId64 " bytes sent",
                      thread.TransfersCompleted(), thread.BytesReceived(), thread.BytesSent());
    session.SendReply("211 End of status");
}
