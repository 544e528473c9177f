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

// A transfer's event, with the size the file has on disk now.
void ReportFileEvent(CControlSocket& session, HookEventKind kind, const std::string& file) {
    if (!session.Server().Hooks().HasAction(kind)) return;
    ReportPathEvent(session, kind, file, GetFileSize(file));
}

// 452 is the one reply an upload stopped by the user's quota ends with.
bool IsQuotaReply(std::string_view reply) { return reply.substr(0, 4) == "452 "; }

}  // namespace

void ReportPathEvent(CControlSocket& session, HookEventKind kind, const std::string& local,
                     std::int64_t size) {
    if (!session.Server().Hooks().HasAction(kind)) return;
    HookEvent event = SessionEvent(session, kind);
    event.path = local;
    event.virtualPath = ToVirtualPath(session, local);
    event.size = size;
    session.Server().Hooks().Post(std::move(event));
}

void ReportRename(CControlSocket& session, const std::string& from, const std::string& to) {
    if (!session.Server().Hooks().HasAction(HookEventKind::Rename)) return;
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
            ReportFileEvent(session, HookEventKind::DownloadComplete, file);
        return;
    }
    if (session.State() != SessionState::Uploading) return;
    if (event == TransferEvent::UploadDone) {
        ReportFileEvent(session, HookEventKind::UploadComplete, file);
        return;
    }
    const bool quota = IsQuotaReply(reply);
    if (quota) ReportFileEvent(session, HookEventKind::QuotaExceeded, file);
    if (quota || event == TransferEvent::TransferFailed)
        ReportFileEvent(session, HookEventKind::UploadFailed, file);
}

void ReportTransferCut(CControlSocket& session) {
    const std::string& file = session.Settings().data.transferFile;
    if (session.State() != SessionState::Uploading || file.empty()) return;
    ReportFileEvent(session, HookEventKind::UploadFailed, file);
}
