// tarvona-admin ip list|add|del allow|deny [ENTRY]: the IP lists of a running server,
// applied at once, or without one the files "acceptip.txt" and "rejectip.txt" of the
// program directory, which a server reads when it starts.
#include <ostream>
#include <string>
#include <vector>

#include "app/AdminAccountCommands.h"
#include "app/AdminArgs.h"
#include "app/AdminRemote.h"
#include "config/IpFilter.h"
#include "config/IpPattern.h"
#include "platform/Text.h"

namespace {

constexpr char kIpUsage[] =
    "usage: tarvona-admin ip list allow|deny\n"
    "       tarvona-admin ip add|del allow|deny ENTRY\n"
    "ENTRY: 10.0.0.1, 192.168.*.*, 10.0.0.0/8, 2001:db8::1 or 2001:db8::/32";

std::string ListPath(CIpFilter::List list) {
    return list == CIpFilter::List::Allow ? "/api/v1/iplists/allow" : "/api/v1/iplists/deny";
}

int RemoteList(CApiClient& server, CIpFilter::List list, std::ostream& out, std::ostream& err) {
    nlohmann::json answer;
    if (const int status = AskServer(server, "GET", ListPath(list), {}, {}, err, &answer))
        return status;
    const nlohmann::json entries = answer.is_object() ? answer["entries"] : nlohmann::json();
    if (entries.is_array())
        for (const nlohmann::json& entry : entries)
            if (entry.is_string())
                out << ReplaceControlCharacters(entry.get<std::string>()) << '\n';
    return kExitDone;
}

// The server's refusals worded as the file mode words them.
int RemoteChange(CApiClient& server, CIpFilter::List list, const std::string& verb,
                 const std::string& entry, std::ostream& err) {
    const bool add = verb == "add";
    const ApiClientResponse answer =
        add ? server.Send("POST", ListPath(list), nlohmann::json{{"entry", entry}}.dump())
            : server.Send("DELETE", ListPath(list) + "?entry=" + PathSegment(entry));
    if (add && answer.status == 409)
        return Report(err, kExitRefused, "\"" + entry + "\" is on the list already");
    if (!add && answer.status == 404)
        return Report(err, kExitRefused, "\"" + entry + "\" is not on the list");
    return ReadAnswer(answer, err);
}

int FileChange(const std::string& programDir, CIpFilter::List list, const std::string& verb,
               const std::string& entry, std::ostream& err) {
    CIpFilter filter;
    if (!filter.LoadList(programDir, list)) return Report(err, kExitRefused, filter.GetLastError());
    std::vector<std::string> entries = CIpFilter::SplitEntries(filter.GetList(list));
    const auto before = entries.size();
    if (verb == "add") {
        if (CIpFilter::ContainsEntry(filter.GetList(list), entry))
            return Report(err, kExitRefused, "\"" + entry + "\" is on the list already");
        entries.push_back(entry);
    } else {
        std::erase_if(entries, [&](const std::string& e) { return EqualsNoCase(e, entry); });
        if (entries.size() == before)
            return Report(err, kExitRefused, "\"" + entry + "\" is not on the list");
    }
    filter.SetList(list, CIpFilter::JoinEntries(entries));
    if (!filter.SaveList(programDir, list)) return Report(err, kExitRefused, filter.GetLastError());
    return kExitDone;
}

}  // namespace

int RunIpCommand(const std::string& programDir, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err) {
    if (args.size() < 2 || (args[1] != "allow" && args[1] != "deny"))
        return Report(err, kExitBadArguments, kIpUsage);
    const auto list = args[1] == "allow" ? CIpFilter::List::Allow : CIpFilter::List::Deny;
    if (args[0] == "list" && args.size() == 2)
        return ThroughServerOrFiles(
            programDir, err, [&](CApiClient& server) { return RemoteList(server, list, out, err); },
            [&] {
                CIpFilter filter;
                if (!filter.LoadList(programDir, list))
                    return Report(err, kExitRefused, filter.GetLastError());
                for (const std::string& entry : CIpFilter::SplitEntries(filter.GetList(list)))
                    out << entry << '\n';
                return kExitDone;
            });
    if ((args[0] != "add" && args[0] != "del") || args.size() != 3)
        return Report(err, kExitBadArguments, kIpUsage);
    const std::string& entry = args[2];
    if (!IsValidIpListEntry(entry))
        return Report(err, kExitBadArguments,
                      "not an address, \"*\" form or range: \"" + entry + "\"");
    return ThroughServerOrFiles(
        programDir, err,
        [&](CApiClient& server) { return RemoteChange(server, list, args[0], entry, err); },
        [&] { return FileChange(programDir, list, args[0], entry, err); });
}
