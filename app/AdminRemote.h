// The server tarvona-admin's commands work through: the one --server names (over TLS),
// else the one running on the program directory (its control socket). Through a server,
// changes are logged with their origin, applied at once and follow the version rule;
// without one the account and IP commands edit the files. Both ways print the same and
// exit the same.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "api/ApiClient.h"
#include "app/AdminArgs.h"

struct ServerLink {
    std::unique_ptr<CApiClient> client;  // nullptr: no server runs; the files are edited
    int status = kExitDone;  // otherwise --server cannot be reached or trusted (reported)
};

// The chosen server. With --server an unusable server is an error, never a quiet turn
// to the local files; without it, a server that does not answer on the control socket
// means none runs.
ServerLink ChooseServer(const std::string& programDir, std::ostream& err);

// `remote` with the chosen server's client, or `local` when no server runs.
template <typename Remote, typename Local>
int ThroughServerOrFiles(const std::string& programDir, std::ostream& err, Remote remote,
                         Local local) {
    const ServerLink link = ChooseServer(programDir, err);
    if (link.status != kExitDone) return link.status;
    return link.client ? remote(*link.client) : local();
}

// One request to the server, which must run: refused, with a hint, when none answers.
int AskRunningServer(const std::string& programDir, const std::string& method,
                     const std::string& path, const nlohmann::json& body, std::ostream& err,
                     nlohmann::json* answer = nullptr);

// One request. kExitDone for a 2xx answer (its JSON in `answer`, its ETag in `etag`
// when given); otherwise reports the server's message on `err` and gives kExitRefused.
int AskServer(CApiClient& client, const std::string& method, const std::string& path,
              const nlohmann::json& body, const std::string& ifMatch, std::ostream& err,
              nlohmann::json* answer = nullptr, std::string* etag = nullptr);

// The same for an answer already received.
int ReadAnswer(const ApiClientResponse& response, std::ostream& err,
               nlohmann::json* answer = nullptr, std::string* etag = nullptr);

// `name` as one segment of a request path (or a query value).
std::string PathSegment(std::string_view name);

// The parts of an answer another machine sent, read without trusting its shape: a text
// field ("" when missing or not text), a whole number (0 likewise), the objects of an
// array (an empty list for anything else) and a field shown between tabs (no tab, line
// break or terminal control of the server's choosing gets in).
std::string TextOf(const nlohmann::json& object, std::string_view field);
long long NumberOf(const nlohmann::json& object, std::string_view field);
std::vector<nlohmann::json> ObjectsOf(const nlohmann::json& list);
std::string ShownField(const nlohmann::json& object, std::string_view field);

// The "reserved" field after `--expires OPTION` (a date or "never") over `storedReserved`.
std::string ReservedForExpires(const std::string& option, const std::string& storedReserved);

// The fields the options of "user add" and "user set" give; `storedReserved` is the
// account's "reserved" before the change ("never" keeps its date).
nlohmann::json UserOptionsJson(const CAdminArgs& args, const std::string& storedReserved);
