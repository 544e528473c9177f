// What the user, group and folder routes share: reading a body, naming a record from the
// path, answering with a record and its version, and turning an account editor's refusal
// into the status that fits it.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "api/ApiTypes.h"

class CAccountEditor;
enum class AccountKind;
enum class AccountEdit;

// Each group of account routes, listed together by AccountRoutes.
std::vector<ApiRoute> UserRoutes();
std::vector<ApiRoute> GroupRoutes();
std::vector<ApiRoute> FolderRoutes();

// The program directory, ending with "/".
std::string ProgramDirOf(const ApiContext& context);

// The body as JSON; false, with a 400 answer in `refusal`, when it is not JSON.
bool ParseBody(const ApiRequest& request, nlohmann::json& out, ApiResponse& refusal);
// The path part `key` (a user or group name); false, with a 400 answer in `refusal`,
// when it cannot name one.
bool NameFromPath(const ApiRequest& request, const std::string& key, std::string& out,
                  ApiResponse& refusal);

// `body` with the version as its ETag.
ApiResponse Versioned(nlohmann::json body, const std::string& version, int status = 200);
// The versions an If-Match header accepts, for CAccountEditor::RequireVersion: none
// required when it is absent or "*"; a weak or malformed tag matches nothing.
std::vector<std::string> AcceptedVersions(const std::string& ifMatch);
// The editor's last refusal: 400 for a value it refuses, 404 for a record deleted
// meanwhile, 409 for a name taken, 412 for a stale version, else 500.
ApiResponse EditorRefusal(const CAccountEditor& editor);

// Logs the change with the request's origin.
void NoteEdit(ApiContext& context, const ApiRequest& request, AccountKind kind, AccountEdit edit,
              const std::string& name);
