// The administrator's actions on a running server, whichever front end asks for them: the
// window and the control socket call these, never the parts below them, so every action
// is done the same way and leaves one log line "... by the administrator (ORIGIN)."
//
// tarvona-admin reaches a running server only through the control socket (its kick and
// ban commands); its account and IP-list edits change the files without a server and
// report through its own exit status and messages.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "config/FilterMode.h"
#include "config/IpFilter.h"
#include "config/Options.h"

class CFtpServer;

// Network: the administration API's TLS listener.
enum class AdminOrigin { Window, ControlSocket, Network };
enum class AccountKind { User, Group };
enum class AccountEdit { Added, Changed, Deleted };

// "window", "control socket", "network": the words in parentheses at the end of the log line.
const char* AdminOriginText(AdminOrigin origin);

class CAdminOperations {
public:
    // `peer`: the address the request came from, for the audit log ("local": this host).
    CAdminOperations(CFtpServer& server, AdminOrigin origin, std::string peer = "local")
        : m_server(server), m_origin(origin), m_peer(std::move(peer)) {}

    // Ends session `id` without a reply. False (and no log line) when no such session is
    // open. Any thread.
    bool Kick(std::uint32_t id);
    // Lifts the ban of `address` (in the login guard's form) and forgets its failures.
    // False when it was not banned. Any thread.
    bool LiftBan(const std::string& address);
    // Bans `address` (in the login guard's form) for `seconds`. False when it is banned
    // already or cannot be tracked. Any thread.
    bool AddBan(const std::string& address, std::int64_t seconds);
    // Starts listening (false when running already or the port cannot be used), or stops
    // listening and ends every session (false when not running). Main thread.
    bool StartListening();
    bool StopListening();
    // Puts `entry` on `list` of the server's filter and saves that list's file, unless an
    // equal entry is there (false, nothing logged). A file that cannot be written keeps
    // the change in memory only and is logged as an error. Main thread.
    bool AddIpEntry(CIpFilter::List list, const std::string& entry);
    // Takes the entries equal to `entry` (ASCII case ignored) off `list` and saves that
    // list's file as AddIpEntry does. False when there was none (nothing logged). Main thread.
    bool RemoveIpEntry(CIpFilter::List list, const std::string& entry);
    // The filter's mode and lists were replaced as a whole (the IP filter dialog).
    void NoteIpFilterReplaced();
    // Puts the filter's mode and both lists in force, then saves "FilterMode" and both
    // list files. Empty when saved; otherwise why the next start would not have them
    // (also logged): the filter works with them meanwhile. Main thread.
    std::string ReplaceIpFilter(FilterMode mode, std::string_view allowText,
                                std::string_view denyText);
    // An account editor saved or deleted the record named `name`.
    void NoteAccountEdit(AccountKind kind, AccountEdit edit, std::string_view name);
    // Writes the keys `members` of `values` to option.ini as COptions::SaveKeys does, and
    // logs one line per key whose stored value it changed. False when the file cannot
    // be written. Main thread.
    bool SaveOptions(const OptionValues& values, std::span<const OptionMember> members);

private:
    void Log(const std::string& what);
    void SaveListOf(CIpFilter::List list);

    CFtpServer& m_server;
    const AdminOrigin m_origin;
    const std::string m_peer;
};
