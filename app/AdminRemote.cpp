#include "app/AdminRemote.h"

#include <cstdio>
#include <filesystem>

#include "accounts/ExpiryCheck.h"
#include "accounts/RecordText.h"
#include "api/ApiService.h"
#include "app/AdminArgs.h"
#include "app/AdminServerChoice.h"
#include "platform/Text.h"

namespace {

// The server on `programDir`'s control socket when one answers there.
std::unique_ptr<CApiClient> LocalServerClient(const std::string& programDir) {
    const std::string socketPath = programDir + kControlSocketName;
    std::error_code ignored;
    if (!std::filesystem::is_socket(socketPath, ignored)) return nullptr;
    std::unique_ptr<CApiClient> client = NewSocketApiClient(socketPath);
    // A socket left behind by a server that ended answers nothing: the files are free.
    if (client == nullptr || client->Send("GET", "/api/v1/server").status == 0) return nullptr;
    return client;
}

}  // namespace

ServerLink ChooseServer(const std::string& programDir, std::ostream& err) {
    ServerLink link;
    if (!RemoteServerChosen()) {
        link.client = LocalServerClient(programDir);
        return link;
    }
    std::string error;
    link.client = ConnectRemoteServer(error);
    if (link.client == nullptr) link.status = Report(err, kExitRefused, error);
    return link;
}

int AskRunningServer(const std::string& programDir, const std::string& method,
                     const std::string& path, const nlohmann::json& body, std::ostream& err,
                     nlohmann::json* answer) {
    const ServerLink link = ChooseServer(programDir, err);
    if (link.status != kExitDone) return link.status;
    if (link.client == nullptr)
        return Report(err, kExitRefused,
                      "no server answers on " + programDir + kControlSocketName +
                          " (is tarvona-server running on this directory?)");
    return AskServer(*link.client, method, path, body, {}, err, answer);
}

int AskServer(CApiClient& client, const std::string& method, const std::string& path,
              const nlohmann::json& body, const std::string& ifMatch, std::ostream& err,
              nlohmann::json* answer, std::string* etag) {
    return ReadAnswer(
        client.Send(method, path, body.is_null() ? std::string() : body.dump(), ifMatch), err,
        answer, etag);
}

int ReadAnswer(const ApiClientResponse& response, std::ostream& err, nlohmann::json* answer,
               std::string* etag) {
    // The server's words reach a terminal: no control character of its choosing does.
    if (response.status == 0)
        return Report(err, kExitRefused,
                      "the server did not answer: " + ReplaceControlCharacters(response.error));
    const nlohmann::json parsed = nlohmann::json::parse(response.body, nullptr, false);
    if (response.status < 200 || response.status > 299) {
        const std::string told = TextOf(parsed, "error");
        return Report(err, kExitRefused,
                      told.empty() ? "the server answered " + std::to_string(response.status)
                                   : ReplaceControlCharacters(told));
    }
    if (answer != nullptr) *answer = parsed.is_discarded() ? nlohmann::json() : parsed;
    if (etag != nullptr) *etag = response.etag;
    return kExitDone;
}

std::string TextOf(const nlohmann::json& object, std::string_view field) {
    if (!object.is_object()) return {};
    const auto found = object.find(std::string(field));
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

long long NumberOf(const nlohmann::json& object, std::string_view field) {
    if (!object.is_object()) return 0;
    const auto found = object.find(std::string(field));
    return found != object.end() && found->is_number_integer() ? found->get<long long>() : 0;
}

std::vector<nlohmann::json> ObjectsOf(const nlohmann::json& list) {
    std::vector<nlohmann::json> objects;
    if (!list.is_array()) return objects;
    for (const nlohmann::json& item : list)
        if (item.is_object()) objects.push_back(item);
    return objects;
}

std::string ShownField(const nlohmann::json& object, std::string_view field) {
    const auto found = object.is_object() ? object.find(std::string(field)) : object.end();
    if (found == object.end()) return {};
    return ReplaceControlCharacters(found->is_string() ? found->get<std::string>() : found->dump());
}

std::string PathSegment(std::string_view name) {
    std::string encoded;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += c;
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", byte);
            encoded += escape;
        }
    }
    return encoded;
}

std::string ReservedForExpires(const std::string& option, const std::string& storedReserved) {
    // "never" keeps the date that was there, as the editors do.
    const std::string kept = ParseExpiry(storedReserved).date;
    return option == "never" ? FormatExpiry(false, kept.empty() ? TodayText() : kept)
                             : FormatExpiry(true, option);
}

nlohmann::json UserOptionsJson(const CAdminArgs& a, const std::string& storedReserved) {
    nlohmann::json body = nlohmann::json::object();
    const auto text = [&](const char* option, const char* field) {
        if (a.Has(option)) body[field] = a.Value(option);
    };
    text("--password", "password");
    text("--home", "homedir");
    text("--email", "email");
    text("--groups", "group");
    text("--perms", "permissions");
    if (a.Has("--disabled")) body["status"] = 0;
    if (a.Has("--enabled")) body["status"] = 1;
    if (a.Has("--expires"))
        body["reserved"] = ReservedForExpires(a.Value("--expires"), storedReserved);
    long long number = 0;
    for (const char* kind : {"download", "upload"}) {
        const std::string option = std::string("--") + kind + "-limit";
        if (!a.Has(option) || !ParseCount(a.Value(option), number)) continue;
        body[std::string(kind) + "_limit"] = number > 0;
        body[std::string(kind) + "_speed"] = number;
    }
    if (a.Has("--quota") && ParseCount(a.Value("--quota"), number)) body["quota_max"] = number;
    return body;
}
