// What monitoring sees of a session: one call at each event point counts the event for
// GET /metrics and writes it to the audit log when that is on ([Log] Json). On the
// session's thread unless said otherwise.
#pragma once

#include <cstdint>
#include <string_view>

#include "server/AuditLog.h"

class CControlSocket;
class CFtpServer;

void ObserveLogin(CControlSocket& session, bool accepted);
// The session ends; a logged-in one logs out.
void ObserveSessionEnd(CControlSocket& session);
// A session's state changed from `before` to `after` (SessionState values).
void ObserveStateChange(CControlSocket& session, int before, int after);
void ObserveTransfer(CControlSocket& session, const AuditTransfer& transfer);
// A file deleted, a directory removed, a rename, a directory change (CAuditLog::PathEvent).
void ObservePathEvent(CControlSocket& session, std::string_view event, std::string_view path,
                      std::string_view target = {});
// Any thread: `address` banned for `seconds` after failed logins of `service`.
void ObserveBan(CFtpServer& server, std::string_view address, std::int64_t seconds,
                std::string_view service);
