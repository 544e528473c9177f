// tarvona-admin's account changes made through a server running on the program
// directory: its administration API on the control socket, so the running server logs
// them with their origin and applies the version rule. Without a server answering there
// the commands edit the files as before; both ways print the same and exit the same.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>

#include "api/ApiClient.h"

class CAdminArgs;

// A client of the server on `programDir`'s control socket when one answers there;
// nullptr when none does.
std::unique_ptr<CApiClient> LocalServerClient(const std::string& programDir);

// One request. kExitDone for a 2xx answer (its JSON in `answer`, its ETag in `etag`
// when given); otherwise reports the server's message on `err` and gives kExitRefused.
int AskServer(CApiClient& client, const std::string& method, const std::string& path,
              const nlohmann::json& body, const std::string& ifMatch, std::ostream& err,
              nlohmann::json* answer = nullptr, std::string* etag = nullptr);

// `name` as one segment of a request path.
std::string PathSegment(std::string_view name);

// The fields the options of "user add" and "user set" give; `storedReserved` is the
// account's "reserved" before the change ("never" keeps its date).
nlohmann::json UserOptionsJson(const CAdminArgs& args, const std::string& storedReserved);
