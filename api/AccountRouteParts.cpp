#include "api/AccountRouteParts.h"

#include "accounts/AccountEditor.h"
#include "api/AccountJson.h"
#include "platform/Text.h"
#include "server/AdminOperations.h"

std::string ProgramDirOf(const ApiContext& context) {
    const std::string& dir = context.programDir;
    return !dir.empty() && dir.back() == '/' ? dir : dir + "/";
}

bool ParseBody(const ApiRequest& request, nlohmann::json& out, ApiResponse& refusal) {
    out = nlohmann::json::parse(request.body, nullptr, false);
    if (!out.is_discarded()) return true;
    refusal = ApiError(400, "the body is not well-formed JSON");
    return false;
}

bool NameFromPath(const ApiRequest& request, const std::string& key, std::string& out,
                  ApiResponse& refusal) {
    const auto found = request.pathParams.find(key);
    out = found == request.pathParams.end() ? std::string() : found->second;
    const std::string problem = NameProblem(key, out);
    if (problem.empty() && !out.empty()) return true;
    refusal = ApiError(400, problem.empty() ? "\"" + key + "\" is empty" : problem);
    return false;
}

ApiResponse Versioned(nlohmann::json body, const std::string& version, int status) {
    ApiResponse response;
    response.status = status;
    response.body = std::move(body);
    response.etag = "\"" + version + "\"";
    return response;
}

std::vector<std::string> AcceptedVersions(const std::string& ifMatch) {
    const std::string_view header = TrimBlanks(ifMatch);
    if (header.empty() || header == "*") return {};
    std::vector<std::string> accepted;
    std::string_view rest = header;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view tag = TrimBlanks(rest.substr(0, comma));
        // If-Match compares strongly: a weak tag ("W/...") never matches.
        if (tag.size() >= 2 && tag.front() == '"' && tag.back() == '"')
            accepted.emplace_back(tag.substr(1, tag.size() - 2));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    if (accepted.empty()) accepted.emplace_back("-");  // no version looks like this
    return accepted;
}

ApiResponse EditorRefusal(const CAccountEditor& editor) {
    switch (editor.GetLastFailure()) {
        case EditFailure::Invalid:
            return ApiError(400, editor.GetLastError());
        case EditFailure::Gone:
            return ApiError(404, editor.GetLastError());
        case EditFailure::NameTaken:
            return ApiError(409, editor.GetLastError());
        case EditFailure::Stale:
            return ApiError(412, editor.GetLastError());
        default:
            return ApiError(500, editor.GetLastError());
    }
}

void NoteEdit(ApiContext& context, const ApiRequest& request, AccountKind kind, AccountEdit edit,
              const std::string& name) {
    CAdminOperations(context.server, OriginOf(request.transport), request.peerAddress)
        .NoteAccountEdit(kind, edit, name);
}
