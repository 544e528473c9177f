// /api/v1/users and /api/v1/users/{userid}. POST makes an account as "tarvona-admin user
// add" does; PATCH changes only the fields the body names; PUT replaces the record: the
// fields it leaves out get a new account's values, except the password (never shown, so
// kept) and the space in use (the server's booking, kept).
#include "accounts/AccountEditor.h"
#include "accounts/AccountFields.h"
#include "accounts/AccountVersion.h"
#include "accounts/ExpiryCheck.h"
#include "accounts/PermissionText.h"
#include "accounts/RecordText.h"
#include "api/AccountJson.h"
#include "api/AccountRouteParts.h"
#include "config/Options.h"
#include "server/AdminOperations.h"

namespace {

constexpr char kUsers[] = "/api/v1/users";
constexpr char kUser[] = "/api/v1/users/{userid}";

UserInput InputFor(const std::string& dir) {
    return {dir, COptions(dir).ReadInt(&OptionValues::hashPasswords) == 1};
}

// What a new account holds before its fields are given, as tarvona-admin makes one.
UserRecord NewAccount(std::string_view expiryDate) {
    UserRecord user;
    user.status = kStatusEnabled;
    user.reserved = FormatExpiry(false, expiryDate.empty() ? TodayText() : expiryDate);
    user.permissions = PermissionsFromText(kDefaultPermissionText);
    return user;
}

ApiResponse UserAnswer(const std::string& dir, const UserRecord& user, int status = 200) {
    const auto groups = CAccountEditor(dir).GroupNamesById();
    return Versioned(UserToJson(user, groups), AccountVersion(user), status);
}

ApiResponse NoUser(const std::string& name) { return ApiError(404, "no user \"" + name + "\""); }

// The account `name`; false, with the answer in `refusal`, when there is none, its
// table stayed locked past the bounded wait or cannot be read.
bool ReadNamedUser(const std::string& dir, const std::string& name, UserRecord& out,
                   ApiResponse& refusal) {
    const LookupStatus status = LookUpUser(dir, name, out);
    if (status.ok()) return true;
    if (status.IsBusy()) {
        refusal = ApiError(503, UserTablePath(dir) + " is locked by another editor; try again");
        return false;
    }
    if (status.IsFailed()) {
        refusal = ApiError(500, status.message().empty() ? UserTablePath(dir) + " cannot be read"
                                                         : status.message());
        return false;
    }
    refusal = NoUser(name);
    return false;
}

ApiResponse ListUsers(ApiContext& context, const ApiRequest&) {
    const std::string dir = ProgramDirOf(context);
    std::vector<UserRecord> users;
    if (!ReadAllUsers(dir, users)) return ApiError(500, "cannot read " + UserTablePath(dir));
    const auto groups = CAccountEditor(dir).GroupNamesById();
    nlohmann::json list = nlohmann::json::array();
    for (const UserRecord& user : users) list.push_back(UserToJson(user, groups));
    ApiResponse response;
    response.body = std::move(list);
    return response;
}

ApiResponse CreateUser(ApiContext& context, const ApiRequest& request) {
    const std::string dir = ProgramDirOf(context);
    ApiResponse refusal;
    nlohmann::json body;
    if (!ParseBody(request, body, refusal)) return refusal;
    UserRecord user = NewAccount({});
    std::vector<std::string_view> owned;
    std::string error;
    if (!ApplyUserJson(body, InputFor(dir), user, owned, error)) return ApiError(400, error);
    UserRecord existing;
    if (HasNonBlank(user.name) && ReadUser(dir, user.name, existing))
        return ApiError(409, "user \"" + user.name + "\" exists already");
    CAccountEditor editor(dir);
    if (!editor.SaveUser(user, {})) return EditorRefusal(editor);
    NoteEdit(context, request, AccountKind::User, AccountEdit::Added, user.name);
    return UserAnswer(dir, user, 201);
}

// The account the path's {userid} names; false, with the answer in `refusal`, when the
// name is malformed or the account cannot be read.
bool UserOfPath(const std::string& dir, const ApiRequest& request, UserRecord& user,
                ApiResponse& refusal) {
    std::string name;
    return NameFromPath(request, "userid", name, refusal) &&
           ReadNamedUser(dir, name, user, refusal);
}

ApiResponse GetUser(ApiContext& context, const ApiRequest& request) {
    const std::string dir = ProgramDirOf(context);
    ApiResponse refusal;
    UserRecord user;
    if (!UserOfPath(dir, request, user, refusal)) return refusal;
    return UserAnswer(dir, user);
}

ApiResponse UpdateUser(ApiContext& context, const ApiRequest& request, bool replace) {
    const std::string dir = ProgramDirOf(context);
    ApiResponse refusal;
    std::string name;
    nlohmann::json body;
    if (!NameFromPath(request, "userid", name, refusal) || !ParseBody(request, body, refusal))
        return refusal;
    UserRecord stored;
    if (!ReadNamedUser(dir, name, stored, refusal)) return refusal;
    UserRecord user = stored;
    if (replace) {
        user = NewAccount(ParseExpiry(stored.reserved).date);
        user.id = stored.id;
        user.name = stored.name;
        user.password = stored.password;
    }
    std::vector<std::string_view> owned;
    std::string error;
    if (!ApplyUserJson(body, InputFor(dir), user, owned, error)) return ApiError(400, error);
    if (replace) owned = FieldNamesButId<UserRecord>();
    CAccountEditor editor(dir);
    editor.RequireVersion(AcceptedVersions(request.ifMatch));
    const bool keepQuotaInUse = !body.contains(FieldName(&UserRecord::quotaCurrent));
    if (!editor.SaveUserRecord(user, owned, keepQuotaInUse)) return EditorRefusal(editor);
    NoteEdit(context, request, AccountKind::User, AccountEdit::Changed, user.name);
    UserRecord saved;
    if (!ReadUserById(dir, user.id, saved)) return NoUser(user.name);  // deleted meanwhile
    return UserAnswer(dir, saved);
}

ApiResponse RemoveUser(ApiContext& context, const ApiRequest& request) {
    const std::string dir = ProgramDirOf(context);
    ApiResponse refusal;
    UserRecord user;
    if (!UserOfPath(dir, request, user, refusal)) return refusal;
    CAccountEditor editor(dir);
    editor.RequireVersion(AcceptedVersions(request.ifMatch));
    if (!editor.DeleteUser(user.id)) return EditorRefusal(editor);
    NoteEdit(context, request, AccountKind::User, AccountEdit::Deleted, user.name);
    ApiResponse response;
    response.status = 204;
    return response;
}

}  // namespace

std::vector<ApiRoute> UserRoutes() {
    return {
        {"GET", kUsers, ListUsers},
        {"POST", kUsers, CreateUser},
        {"GET", kUser, GetUser},
        {"PUT", kUser,
         [](ApiContext& c, const ApiRequest& r) { return UpdateUser(c, r, /*replace=*/true); }},
        {"PATCH", kUser,
         [](ApiContext& c, const ApiRequest& r) { return UpdateUser(c, r, /*replace=*/false); }},
        {"DELETE", kUser, RemoveUser},
    };
}
