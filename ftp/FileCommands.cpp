// DELE, RNFR, RNTO, SIZE, REST.
#include <cctype>
#include <cinttypes>
#include <limits>
#include <mutex>

#include "accounts/AccountStore.h"
#include "ftp/Commands.h"
#include "ftp/ResolveReplies.h"
#include "platform/FileSystem.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

// A decimal integer the way the C library reads one: leading white space, a sign,
// digits up to the first other character; no digits gives 0. Saturates instead of
// overflowing.
std::int64_t ParseLeadingInt64(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        const int digit = text[i] - '0';
        if (value > (kMax - digit) / 10) return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string ParentOf(const std::string& localPath) {
    const auto slash = localPath.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : localPath.substr(0, slash);
}

void RefundQuota(CControlSocket& session, std::int64_t deletedBytes) {
    std::lock_guard lock(session.Server().ConnectionLock());
    // A missing account or table skips the refund; nothing to tell the client. Uploads
    // book every started KiB; so is the refund counted, or upload and delete would leak.
    (void)AddQuotaCurrent(session.Server().ProgramDir(), session.UserName(),
                          -static_cast<double>((deletedBytes + 1023) / 1024), true);
}

}  // namespace

void CmdDele(CControlSocket& session, const std::string& argument) {
    std::string local;
    if (ReplyUnlessFileFound(session, session.ResolveFilePath(argument, PermissionKind::Delete, local)))
        return;
    const std::string shown = session.ToVirtualPath(local);
    const std::int64_t size = std::max<std::int64_t>(GetFileSize(local), 0);
    if (!RemoveFile(local)) {
        session.SendReply("450 delete file error: \"%s\".", shown.c_str());
        return;
    }
    session.SendReply("250 File \"%s\" was deleted .", shown.c_str());
    RefundQuota(session, size);
}

void CmdRnfr(CControlSocket& session, const std::string& argument) {
    std::string local;
    if (session.ResolveFilePath(argument, PermissionKind::Rename, local) == ResolveResult::Found) {
        session.m_renameSource = local;
        session.m_renameIsFile = true;
        session.SendReply("350 File exists, ready for destination name.");
        return;
    }
    const ResolveResult result = session.ResolveDirPath(argument, PermissionKind::DirRename, local);
    if (result == ResolveResult::Found) {
        session.m_renameSource = local;
        session.m_renameIsFile = false;
        session.SendReply("350 Directory exists, ready for destination name.");
    } else if (result == ResolveResult::Denied) {
        session.SendReply("550 No permission.");
    } else {
        session.SendReply("550 File/directory not found.");
    }
}

void CmdRnto(CControlSocket& session, const std::string& argument) {
    if (session.m_renameSource.empty()) {
        session.SendReply("503 Bad sequence of commands.");
        return;
    }
    const bool isFile = session.m_renameIsFile;
    std::string target;
    const ResolveResult result =
        isFile ? session.ResolveFilePath(argument, PermissionKind::Rename, target)
               : session.ResolveDirPath(argument, PermissionKind::DirRename, target);
    if (result == ResolveResult::Found) {
        session.SendReply("550 %s already exists.", isFile ? "File" : "Directory");
        return;
    }
    // SECURITY: the target needs the permission too, or a rename could place a file
    // where the user may not write.
    const std::string targetDir = isFile ? ParentOf(target) : target;
    if (result == ResolveResult::Denied ||
        (!target.empty() &&
         !session.CheckPermission(targetDir, isFile ? PermissionKind::Rename : PermissionKind::DirRename))) {
        session.SendReply("550 No permission.");
        return;
    }
    const std::string shown = session.ToVirtualPath(session.m_renameSource);
    if (MovePath(session.m_renameSource, target))
        session.SendReply("250 %s \"%s\" renamed .", isFile ? "File" : "Directory", shown.c_str());
    else
        session.SendReply("450 error rename the %s: \"%s\".", isFile ? "file" : "directory", shown.c_str());
}

void CmdSize(CControlSocket& session, const std::string& argument) {
    std::string local;
    if (ReplyUnlessFileFound(session, session.ResolveFilePath(argument, PermissionKind::Read, local)))
        return;
    session.SendReply("213 %" PRId64, std::max<std::int64_t>(GetFileSize(local), 0));
}

void CmdRest(CControlSocket& session, const std::string& argument) {
    // A 64-bit offset, so a resumed transfer of a file over 2 GiB continues at the
    // right byte.
    session.m_restartOffset = ParseLeadingInt64(argument);
    session.SendReply("350 Restarting at byte offset %" PRId64 ".", session.m_restartOffset);
}
