// /api/v1/groups and /api/v1/groups/{name}, as the user routes: POST makes a group as
// "tarvona-admin group add" does, PATCH changes the fields given, PUT replaces both
// (notes left out become empty). A group's folders are kept by all three.
#include "accounts/AccountEditor.h"
#include "accounts/AccountFields.h"
#include "accounts/AccountVersion.h"
#include "api/AccountJson.h"
#include "api/AccountRouteParts.h"
#include "server/AdminOperations.h"

namespace {

constexpr char kGroups[] = "/api/v1/groups";
constexpr char kGroup[] = "/api/v1/groups/{name}";

ApiResponse GroupAnswer(const GroupRecord& group, int status = 200) {
    return Versioned(GroupToJson(group), AccountVersion(group), status);
}

ApiResponse NoGroup(const std::string& name) { return ApiError(404, "no group \"" + name + "\""); }

ApiResponse ListGroups(ApiContext& context, const ApiRequest&) {
    CAccountEditor editor(ProgramDirOf(context));
    std::vector<GroupRecord> groups;
    if (!editor.ReadGroups(groups)) return ApiError(500, editor.GetLastError());
    ApiResponse response;
    response.body = nlohmann::json::array();
    for (const GroupRecord& group : groups) response.body.push_back(GroupToJson(group));
    return response;
}

ApiResponse CreateGroup(ApiContext& context, const ApiRequest& request) {
    ApiResponse refusal;
    nlohmann::json body;
    if (!ParseBody(request, body, refusal)) return refusal;
    GroupRecord group;
    std::vector<std::string_view> owned;
    std::string error;
    if (!ApplyGroupJson(body, group, owned, error)) return ApiError(400, error);
    CAccountEditor editor(ProgramDirOf(context));
    GroupRecord existing;
    if (HasNonBlank(group.name) && editor.FindGroup(group.name, existing))
        return ApiError(409, "group \"" + group.name + "\" exists already");
    if (!editor.SaveGroup(group, {})) return EditorRefusal(editor);
    NoteEdit(context, request, AccountKind::Group, AccountEdit::Added, group.name);
    GroupRecord saved;
    return GroupAnswer(editor.ReadGroup(group.id, saved) ? saved : group, 201);
}

ApiResponse GetGroup(ApiContext& context, const ApiRequest& request) {
    ApiResponse refusal;
    std::string name;
    if (!NameFromPath(request, "name", name, refusal)) return refusal;
    GroupRecord group;
    if (!CAccountEditor(ProgramDirOf(context)).FindGroup(name, group)) return NoGroup(name);
    return GroupAnswer(group);
}

ApiResponse UpdateGroup(ApiContext& context, const ApiRequest& request, bool replace) {
    ApiResponse refusal;
    std::string name;
    nlohmann::json body;
    if (!NameFromPath(request, "name", name, refusal) || !ParseBody(request, body, refusal))
        return refusal;
    CAccountEditor editor(ProgramDirOf(context));
    GroupRecord group;
    if (!editor.FindGroup(name, group)) return NoGroup(name);
    if (replace) group.notes.clear();
    std::vector<std::string_view> owned;
    std::string error;
    if (!ApplyGroupJson(body, group, owned, error)) return ApiError(400, error);
    if (replace) owned = FieldNamesButId<GroupRecord>();
    editor.RequireVersion(AcceptedVersions(request.ifMatch));
    if (!editor.SaveGroupRecord(group, owned)) return EditorRefusal(editor);
    NoteEdit(context, request, AccountKind::Group, AccountEdit::Changed, group.name);
    GroupRecord saved;
    if (!editor.ReadGroup(group.id, saved)) return NoGroup(group.name);  // deleted meanwhile
    return GroupAnswer(saved);
}

ApiResponse RemoveGroup(ApiContext& context, const ApiRequest& request) {
    ApiResponse refusal;
    std::string name;
    if (!NameFromPath(request, "name", name, refusal)) return refusal;
    CAccountEditor editor(ProgramDirOf(context));
    GroupRecord group;
    if (!editor.FindGroup(name, group)) return NoGroup(name);
    editor.RequireVersion(AcceptedVersions(request.ifMatch));
    if (!editor.DeleteGroup(group.id)) return EditorRefusal(editor);
    NoteEdit(context, request, AccountKind::Group, AccountEdit::Deleted, group.name);
    ApiResponse response;
    response.status = 204;
    return response;
}

}  // namespace

std::vector<ApiRoute> GroupRoutes() {
    return {
        {"GET", kGroups, ListGroups},
        {"POST", kGroups, CreateGroup},
        {"GET", kGroup, GetGroup},
        {"PUT", kGroup,
         [](ApiContext& c, const ApiRequest& r) { return UpdateGroup(c, r, /*replace=*/true); }},
        {"PATCH", kGroup,
         [](ApiContext& c, const ApiRequest& r) { return UpdateGroup(c, r, /*replace=*/false); }},
        {"DELETE", kGroup, RemoveGroup},
    };
}
