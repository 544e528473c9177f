#include "ui/ApiAccountAccess.h"

#include <QUrl>

#include "accounts/AccountFields.h"
#include "accounts/AccountVersion.h"
#include "api/AccountJson.h"
#include "ui/AdminConnection.h"

namespace {

using nlohmann::json;

constexpr char kUsers[] = "/api/v1/users";
constexpr char kGroups[] = "/api/v1/groups";

std::string PathOf(const char* collection, const std::string& name) {
    return std::string(collection) + "/" +
           QUrl::toPercentEncoding(QString::fromStdString(name)).toStdString();
}

AccessStatus StatusOf(const AdminReply& reply) {
    const std::string error = reply.error.toStdString();
    if (reply.status == 0)
        return {AccessOutcome::Lost, "The server cannot be reached (" + error + ")."};
    if (reply.status >= 200 && reply.status < 300) return {};
    if (reply.status == 404) return {AccessOutcome::Gone, error};
    if (reply.status == 412) return {AccessOutcome::Stale, error};
    return {AccessOutcome::Refused,
            error.empty() ? "The server refused (status " + std::to_string(reply.status) + ")."
                          : error};
}

std::string VersionOf(const QString& etag) {
    std::string tag = etag.trimmed().toStdString();
    if (tag.size() >= 2 && tag.front() == '"' && tag.back() == '"')
        tag = tag.substr(1, tag.size() - 2);
    return tag;
}

AccessStatus Malformed(std::string_view what, const std::string& why) {
    return {AccessOutcome::Refused,
            "The server's " + std::string(what) + " cannot be read: " + why};
}

// A user as the API shows it, read back with the API's own reader; the group list stays
// names, which the editors show.
bool UserFromJson(const json& shown, UserRecord& user, std::string& groupNames,
                  std::string& error) {
    if (!shown.is_object()) return (error = "not an object"), false;
    json body = shown;
    const std::string groupField(FieldName(&UserRecord::groups));
    const std::string idField(FieldName(&UserRecord::id));
    if (const auto group = body.find(groupField); group != body.end() && group->is_string())
        groupNames = group->get<std::string>();
    if (const auto id = body.find(idField); id != body.end() && id->is_number_integer())
        user.id = id->get<std::int32_t>();
    // Stored as any text (an account made before expiry dates, or by hand); the reader
    // of requests takes only the two forms an editor writes.
    const std::string reservedField(FieldName(&UserRecord::reserved));
    if (const auto reserved = body.find(reservedField);
        reserved != body.end() && reserved->is_string())
        user.reserved = reserved->get<std::string>();
    body.erase(groupField);
    body.erase(idField);
    body.erase(reservedField);
    std::vector<std::string_view> owned;
    return ApplyUserJson(body, UserInput{}, user, owned, error);
}

bool GroupFromJson(const json& shown, GroupRecord& group, std::string& error) {
    if (!shown.is_object()) return (error = "not an object"), false;
    json body = shown;
    const std::string idField(FieldName(&GroupRecord::id));
    if (const auto id = body.find(idField); id != body.end() && id->is_number_integer())
        group.id = id->get<std::int32_t>();
    body.erase(idField);
    std::vector<std::string_view> owned;
    return ApplyGroupJson(body, group, owned, error);
}

// The fields of `save` its editor owns, as the API takes them.
json UserBody(const UserSave& save) {
    const json shown = UserToJson(save.user, {});
    json body = json::object();
    for (std::string_view field : save.owned) {
        const std::string name(field);
        if (field == FieldName(&UserRecord::groups))
            body[name] = save.groupNames;
        else if (field == FieldName(&UserRecord::password))
            body[name] = save.user.password;
        else if (field == FieldName(&UserRecord::quotaCurrent) && save.keepQuotaInUse)
            continue;  // the server's booking stays
        else if (shown.contains(name))
            body[name] = shown[name];
    }
    return body;
}

// A field of a saved record's answer; `fallback` when it lacks one of that type.
std::int32_t IdIn(const json& body, std::string_view field) {
    if (!body.is_object()) return 0;
    const auto found = body.find(std::string(field));
    return found != body.end() && found->is_number_integer() ? found->get<std::int32_t>() : 0;
}

std::string NameIn(const json& body, std::string_view field, const std::string& fallback) {
    if (!body.is_object()) return fallback;
    const auto found = body.find(std::string(field));
    return found != body.end() && found->is_string() ? found->get<std::string>() : fallback;
}

std::vector<std::string> SplitNames(const std::string& names) {
    std::vector<std::string> out;
    const QStringList pieces = QString::fromStdString(names).split(',', Qt::SkipEmptyParts);
    for (const QString& piece : pieces)
        if (!piece.trimmed().isEmpty()) out.push_back(piece.trimmed().toStdString());
    return out;
}

}  // namespace

struct CApiAccountAccess::UserRead {
    UserDetails details;
    std::vector<std::string> groups;
    std::size_t next = 0;
    Then<UserDetails> done;
};

struct CApiAccountAccess::FolderSave {
    SaveResult result;  // of the record, saved already
    std::vector<VirtualFolder> folders;
    std::string version;  // required; empty for a new record
};

CApiAccountAccess::CApiAccountAccess(CAdminConnection& connection) : m_connection(connection) {}

void CApiAccountAccess::Call(const char* method, const std::string& path, const json& body,
                             const std::string& version, Answered then) {
    const QByteArray payload =
        body.is_null() ? QByteArray() : QByteArray::fromStdString(body.dump());
    const QString ifMatch =
        version.empty() ? QString() : QString::fromStdString('"' + version + '"');
    std::weak_ptr<int> alive = m_alive;
    m_connection.Request(QString::fromLatin1(method), QString::fromStdString(path), payload,
                         ifMatch, [alive, then = std::move(then)](const AdminReply& reply) {
                             if (alive.expired()) return;
                             Answer answer{StatusOf(reply), json(), VersionOf(reply.etag)};
                             if (!reply.body.isEmpty())
                                 answer.body =
                                     json::parse(reply.body.toStdString(), nullptr, false);
                             if (answer.body.is_discarded()) answer.body = nullptr;
                             then(answer);
                         });
}

void CApiAccountAccess::ListUsers(Then<std::vector<UserListEntry>> done) {
    Call("GET", kUsers, nullptr, {}, [done](const Answer& answer) {
        std::vector<UserListEntry> users;
        if (!answer.status.ok()) return done(answer.status, std::move(users));
        if (!answer.body.is_array()) return done(Malformed("user list", "not a list"), {});
        for (const json& shown : answer.body) {
            UserListEntry entry;
            std::string error;
            if (!UserFromJson(shown, entry.user, entry.groupNames, error))
                return done(Malformed("user list", error), {});
            users.push_back(std::move(entry));
        }
        done({}, std::move(users));
    });
}

void CApiAccountAccess::ListGroups(Then<std::vector<GroupRecord>> done) {
    Call("GET", kGroups, nullptr, {}, [done](const Answer& answer) {
        std::vector<GroupRecord> groups;
        if (!answer.status.ok()) return done(answer.status, std::move(groups));
        if (!answer.body.is_array()) return done(Malformed("group list", "not a list"), {});
        for (const json& shown : answer.body) {
            std::string error;
            if (!GroupFromJson(shown, groups.emplace_back(), error))
                return done(Malformed("group list", error), {});
        }
        done({}, std::move(groups));
    });
}

void CApiAccountAccess::ReadUser(const AccountKey& key, Then<UserDetails> done) {
    auto read = std::make_shared<UserRead>();
    read->done = std::move(done);
    const std::string path = PathOf(kUsers, key.name);
    Call("GET", path, nullptr, {}, [this, read, path](const Answer& answer) {
        std::string error;
        UserDetails& details = read->details;
        if (!answer.status.ok()) return read->done(answer.status, {});
        if (!UserFromJson(answer.body, details.user, details.groupNames, error))
            return read->done(Malformed("account", error), {});
        details.passwordShown = false;
        details.version = answer.version;
        Call("GET", path + "/folders", nullptr, {}, [this, read](const Answer& folders) {
            std::string problem;
            if (!folders.status.ok()) return read->done(folders.status, {});
            if (!FoldersFromJson(folders.body, read->details.ownFolders, problem))
                return read->done(Malformed("folder list", problem), {});
            read->details.foldersVersion = folders.version;
            read->groups = SplitNames(read->details.groupNames);
            ReadGroupFolders(read);
        });
    });
}

// The folders of each of the account's groups in turn; a group deleted meanwhile has none.
void CApiAccountAccess::ReadGroupFolders(const std::shared_ptr<UserRead>& read) {
    if (read->next == read->groups.size()) return read->done({}, std::move(read->details));
    const std::string& name = read->groups[read->next++];
    Call("GET", PathOf(kGroups, name) + "/folders", nullptr, {},
         [this, read, name](const Answer& answer) {
             if (answer.status.outcome != AccessOutcome::Gone) {
                 std::string error;
                 NamedFolders group{name, {}};
                 if (!answer.status.ok()) return read->done(answer.status, {});
                 if (!FoldersFromJson(answer.body, group.folders, error))
                     return read->done(Malformed("folder list", error), {});
                 read->details.groupFolders.push_back(std::move(group));
             }
             ReadGroupFolders(read);
         });
}

void CApiAccountAccess::ReadGroup(const AccountKey& key, Then<GroupDetails> done) {
    const std::string path = PathOf(kGroups, key.name);
    Call("GET", path, nullptr, {}, [this, path, done](const Answer& answer) {
        auto details = std::make_shared<GroupDetails>();
        std::string error;
        if (!answer.status.ok()) return done(answer.status, {});
        if (!GroupFromJson(answer.body, details->group, error))
            return done(Malformed("group", error), {});
        details->version = answer.version;
        Call("GET", path + "/folders", nullptr, {}, [details, done](const Answer& folders) {
            std::string problem;
            if (!folders.status.ok()) return done(folders.status, {});
            if (!FoldersFromJson(folders.body, details->folders, problem))
                return done(Malformed("folder list", problem), {});
            details->foldersVersion = folders.version;
            done({}, std::move(*details));
        });
    });
}

// After the record: its folder list, when the editor changed it (a new record's when it
// has any). The record is saved already, so a refusal here still gives its id and
// version.
void CApiAccountAccess::SaveFolders(const std::string& path, const FolderSave& save, Saved done) {
    const bool isNew = save.version.empty();
    const std::string wanted = AccountVersion(save.folders);
    if (isNew ? save.folders.empty() : wanted == save.version) {
        SaveResult result = save.result;
        result.foldersVersion = isNew ? AccountVersion(save.folders) : save.version;
        return done(result);
    }
    SaveResult result = save.result;
    Call("PUT", path + "/folders", FoldersToJson(save.folders), save.version,
         [result, done, isNew, old = save.version](const Answer& answer) mutable {
             result.status = answer.status;
             result.foldersVersion = answer.status.ok() ? answer.version : old;
             if (isNew && !answer.status.ok()) {
                 result.status.outcome = AccessOutcome::FoldersFailed;
                 result.foldersVersion = AccountVersion(std::vector<VirtualFolder>{});
             }
             done(result);
         });
}

void CApiAccountAccess::SaveUser(const UserSave& save, Saved done) {
    const bool isNew = save.user.id == 0;
    const std::string path = isNew ? kUsers : PathOf(kUsers, save.storedName);
    Call(isNew ? "POST" : "PATCH", path, UserBody(save), isNew ? std::string() : save.version,
         [this, save, done, isNew](const Answer& answer) {
             if (!answer.status.ok()) return done({answer.status, 0, {}, {}});
             FolderSave folders;
             folders.result.id = IdIn(answer.body, FieldName(&UserRecord::id));
             folders.result.version = answer.version;
             folders.folders = save.folders;
             folders.version = isNew ? std::string() : save.foldersVersion;
             const std::string name =
                 NameIn(answer.body, FieldName(&UserRecord::name), save.user.name);
             SaveFolders(PathOf(kUsers, name), folders, done);
         });
}

void CApiAccountAccess::SaveGroup(const GroupSave& save, Saved done) {
    const bool isNew = save.group.id == 0;
    const std::string path = isNew ? kGroups : PathOf(kGroups, save.storedName);
    const json body = {{std::string(FieldName(&GroupRecord::name)), save.group.name},
                       {std::string(FieldName(&GroupRecord::notes)), save.group.notes}};
    Call(isNew ? "POST" : "PATCH", path, body, isNew ? std::string() : save.version,
         [this, save, done, isNew](const Answer& answer) {
             if (!answer.status.ok()) return done({answer.status, 0, {}, {}});
             FolderSave folders;
             folders.result.id = IdIn(answer.body, FieldName(&GroupRecord::id));
             folders.result.version = answer.version;
             folders.folders = save.folders;
             folders.version = isNew ? std::string() : save.foldersVersion;
             const std::string name =
                 NameIn(answer.body, FieldName(&GroupRecord::name), save.group.name);
             SaveFolders(PathOf(kGroups, name), folders, done);
         });
}

void CApiAccountAccess::DeleteUser(const AccountKey& key, Done done) {
    Call("DELETE", PathOf(kUsers, key.name), nullptr, {},
         [done](const Answer& answer) { done(answer.status); });
}

void CApiAccountAccess::DeleteGroup(const AccountKey& key, Done done) {
    Call("DELETE", PathOf(kGroups, key.name), nullptr, {},
         [done](const Answer& answer) { done(answer.status); });
}

std::unique_ptr<CAccountAccess> MakeApiAccountAccess(CAdminConnection& connection) {
    return std::make_unique<CApiAccountAccess>(connection);
}
