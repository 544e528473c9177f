// /api/v1/users/{userid}/folders and /api/v1/groups/{name}/folders: the owner's own
// virtual folders as one list (a user's list leaves out those it has from its groups).
// PUT replaces the whole list; a folder given with the "id" a GET showed keeps the
// stored fields the API does not show.
#include "accounts/AccountEditor.h"
#include "accounts/AccountVersion.h"
#include "api/AccountJson.h"
#include "api/AccountRouteParts.h"
#include "server/AdminOperations.h"

namespace {

// The owner named by the path.
struct Owner {
    FolderOwner kind = FolderOwner::User;
    std::int32_t id = 0;
    std::string name;
    std::string tablePath;
};

bool FindOwner(const ApiContext& context, const ApiRequest& request, FolderOwner kind, Owner& owner,
               ApiResponse& refusal) {
    const std::string dir = ProgramDirOf(context);
    const bool isUser = kind == FolderOwner::User;
    std::string name;
    if (!NameFromPath(request, isUser ? "userid" : "name", name, refusal)) return false;
    bool found = false;
    if (isUser) {
        UserRecord user;
        found = ReadUser(dir, name, user);
        owner = {kind, user.id, user.name, UserFolderTablePath(dir, user.id)};
    } else {
        GroupRecord group;
        found = CAccountEditor(dir).FindGroup(name, group);
        owner = {kind, group.id, group.name, GroupFolderTablePath(dir, group.id)};
    }
    if (!found)
        refusal = ApiError(404, std::string(isUser ? "no user \"" : "no group \"") + name + "\"");
    return found;
}

ApiResponse FolderAnswer(const Owner& owner) {
    std::vector<VirtualFolder> folders;
    (void)ReadFolders(owner.tablePath, folders);  // a missing table is an empty list
    return Versioned(FoldersToJson(folders), AccountVersion(folders));
}

ApiResponse GetFolders(ApiContext& context, const ApiRequest& request, FolderOwner kind) {
    Owner owner;
    ApiResponse refusal;
    if (!FindOwner(context, request, kind, owner, refusal)) return refusal;
    return FolderAnswer(owner);
}

ApiResponse PutFolders(ApiContext& context, const ApiRequest& request, FolderOwner kind) {
    Owner owner;
    ApiResponse refusal;
    nlohmann::json body;
    if (!FindOwner(context, request, kind, owner, refusal) || !ParseBody(request, body, refusal))
        return refusal;
    std::vector<VirtualFolder> folders;
    std::string error;
    if (!FoldersFromJson(body, folders, error)) return ApiError(400, error);
    CAccountEditor editor(ProgramDirOf(context));
    editor.RequireVersion(AcceptedVersions(request.ifMatch));
    if (!editor.SaveOwnFolders(kind, owner.id, folders)) return EditorRefusal(editor);
    NoteEdit(context, request, kind == FolderOwner::User ? AccountKind::User : AccountKind::Group,
             AccountEdit::Changed, owner.name);
    return FolderAnswer(owner);
}

template <FolderOwner kKind>
ApiResponse Get(ApiContext& context, const ApiRequest& request) {
    return GetFolders(context, request, kKind);
}

template <FolderOwner kKind>
ApiResponse Put(ApiContext& context, const ApiRequest& request) {
    return PutFolders(context, request, kKind);
}

}  // namespace

std::vector<ApiRoute> FolderRoutes() {
    constexpr char kUserFolders[] = "/api/v1/users/{userid}/folders";
    constexpr char kGroupFolders[] = "/api/v1/groups/{name}/folders";
    return {
        {"GET", kUserFolders, Get<FolderOwner::User>},
        {"PUT", kUserFolders, Put<FolderOwner::User>},
        {"GET", kGroupFolders, Get<FolderOwner::Group>},
        {"PUT", kGroupFolders, Put<FolderOwner::Group>},
    };
}
