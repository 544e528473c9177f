#include "ftp/HookReports.h"

#include <string_view>

#include "ftp/PathResolver.h"
#include "platform/FileSystem.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"
#include "server/FtpServer.h"

namespace {

HookEvent SessionEvent(CControlSocket& session, HookEventKind kind) {
    HookEvent event;
    event.kind = kind;
    event.user = session.UserName();
    event.address = session.Owner().PeerAddress();
    return event;
}

// 452 is the one reply an upload stopped by the user's quota ends with.
bool IsQuotaReply(std::string_view reply) { return reply.substr(0, 4) == "452 "; }

}  // namespace

void ReportPathEvent(CControlSocket& session, HookEventKind kind, const std::string& local,
                     std::int64_t size) {
    HookEvent event = SessionEvent(session, kind);
    event.path = local;
    event.virtualPath = ToVirtualPath(session, local);
    event.size = size;
    session.Server().Hooks().Post(std::move(event));
}

void ReportRename(CControlSocket& session, const std::string& from, const std::string& to) {
    HookEvent event = SessionEvent(session, HookEventKind::Rename);
    event.path = from;
    event.virtualPath = ToVirtualPath(session, from);
    event.newPath = to;
    event.newVirtualPath = ToVirtualPath(session, to);
    session.Server().Hooks().Post(std::move(event));
}

void ReportLoginEvent(CControlSocket& session, HookEventKind kind) {
    session.Server().Hooks().Post(SessionEvent(session, kind));
}

void ReportTransferEnd(CControlSocket& session, const char* reply, TransferEvent event) {
    const std::string& file = session.Settings().data.transferFile;
    if (file.empty()) return;
    if (session.State() == SessionState::Downloading) {
        if (event == TransferEvent::DownloadDone)
            ReportPathEvent(session, HookEventKind::DownloadComplete, file, GetFileSize(file));
        return;
    }
    if (session.State() != SessionState::Uploading) return;
    if (event == TransferEvent::UploadDone) {
        ReportPathEvent(session, HookEventKind::UploadComplete, file, GetFileSize(file));
        return;
    }
    const bool quota = IsQuotaReply(reply);
    if (quota) ReportPathEvent(session, HookEventKind::QuotaExceeded, file, GetFileSize(file));
    if (quota || event == TransferEvent::TransferFailed)
        ReportPathEvent(session, HookEventKind::UploadFailed, file, GetFileSize(file));
}

void ReportTransferCut(CControlSocket& session) {
    const std::string& file = session.Settings().data.transferFile;
    if (session.State() != SessionState::Uploading || file.empty()) return;
    ReportPathEvent(session, HookEventKind::UploadFailed, file, GetFileSize(file));
}
