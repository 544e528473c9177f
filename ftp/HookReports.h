// What a session's commands and transfers tell the server's hooks (server/HookDispatcher):
// one call at each point where an event has happened. Session thread; none of them waits
// for an action.
#pragma once

#include <cstdint>
#include <string>

#include "server/HookEvent.h"
#include "server/SessionEvents.h"

class CControlSocket;

// An event about `local` (a file or directory of this session's user), with its size
// when known (-1: none).
void ReportPathEvent(CControlSocket& session, HookEventKind kind, const std::string& local,
                     std::int64_t size = -1);
// `from` was renamed to `to`.
void ReportRename(CControlSocket& session, const std::string& from, const std::string& to);
// Login, LoginFailed or Ban of this session's user name and address.
void ReportLoginEvent(CControlSocket& session, HookEventKind kind);
// The running transfer ends with `reply` and `event` (ftp/TransferEnd.h, step 1), before
// the session leaves its transfer state. An upload counts as complete only when the
// client's stream ended normally (226) and the file is closed; a quota stop is an
// exceeded quota and a failed upload.
void ReportTransferEnd(CControlSocket& session, const char* reply, TransferEvent event);
// The transfer ends before its stream did (ABOR, a new PASV, the session's end): a
// running upload failed. Nothing once the session has left the transfer.
void ReportTransferCut(CControlSocket& session);
