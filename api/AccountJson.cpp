#include "api/AccountJson.h"

#include <cmath>

#include "accounts/AccountEditor.h"
#include "accounts/AccountFields.h"
#include "accounts/PasswordHash.h"
#include "accounts/PermissionText.h"
#include "accounts/RecordText.h"

namespace {

using nlohmann::json;

constexpr std::string_view kPermissionsText = "permissions";
constexpr std::int64_t kMaxCount = 0x7fffffff;

bool Refuse(std::string& error, std::string why) {
    error = std::move(why);
    return false;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool WrongType(std::string& error, std::string_view field, const char* wanted) {
    return Refuse(error, Quoted(field) + " needs " + wanted);
}

bool ReadText(const json& value, std::string_view field, std::string& out, std::string& error) {
    if (!value.is_string()) return WrongType(error, field, "a string");
    out = value.get<std::string>();
    return true;
}

bool ReadBool(const json& value, std::string_view field, bool& out, std::string& error) {
    if (!value.is_boolean()) return WrongType(error, field, "true or false");
    out = value.get<bool>();
    return true;
}

// A whole number from 0 to 2^31-1, as tarvona-admin takes limits and quotas.
bool ReadCount(const json& value, std::string_view field, std::int64_t& out, std::string& error) {
    const bool whole =
        value.is_number_integer() ||
        (value.is_number_float() && std::trunc(value.get<double>()) == value.get<double>());
    const double number = whole ? value.get<double>() : -1;
    if (!whole || number < 0 || number > static_cast<double>(kMaxCount))
        return WrongType(error, field, "a whole number from 0 to 2147483647");
    out = static_cast<std::int64_t>(number);
    return true;
}

bool ReadPermissionText(const json& value, PermissionSet& out, std::string& error) {
    std::string text;
    if (!ReadText(value, kPermissionsText, text, error)) return false;
    if (!IsValidPermissionText(text))
        return Refuse(
            error, "\"permissions\" needs nine letters of RWDRALCRR or \"-\", not " + Quoted(text));
    out = PermissionsFromTypedText(text);
    return true;
}

bool ReadStatus(const json& value, std::string& out, std::string& error) {
    if (!value.is_number_integer() ||
        (value.get<std::int64_t>() != 0 && value.get<std::int64_t>() != 1))
        return WrongType(error, FieldName(&UserRecord::status), "1 (enabled) or 0 (disabled)");
    out = value.get<std::int64_t>() == 1 ? kStatusEnabled : kStatusDisabled;
    return true;
}

bool ReadReserved(const json& value, std::string& out, std::string& error) {
    std::string text;
    if (!ReadText(value, FieldName(&UserRecord::reserved), text, error)) return false;
    const bool wellFormed = text.size() == 12 && (text[0] == '0' || text[0] == '1') &&
                            text[1] == ',' && IsValidDate(std::string_view(text).substr(2));
    if (!wellFormed)
        return Refuse(error,
                      "\"reserved\" needs \"1,YYYY-MM-DD\" (disabled on and after the date) or "
                      "\"0,YYYY-MM-DD\" (no automatic disable), not " +
                          Quoted(text));
    out = text;
    return true;
}

bool ReadId(const json& value, std::int32_t own, std::string& error) {
    if (own != 0 && value.is_number_integer() && value.get<std::int64_t>() == own) return true;
    return Refuse(error, own == 0 ? "\"id\" is given by the server"
                                  : "\"id\" cannot be changed (it is " + std::to_string(own) + ")");
}

template <typename T>
bool Fills(const UserField& row, T UserRecord::*member) {
    return std::holds_alternative<T UserRecord::*>(row.member) &&
           std::get<T UserRecord::*>(row.member) == member;
}

const UserField* FindUserRow(std::string_view name) {
    for (const UserField& row : kUserFields)
        if (row.name == name) return &row;
    return nullptr;
}

bool ReadGroupNames(const json& value, const UserInput& input, std::string& ids,
                    std::string& error) {
    std::string names;
    if (!ReadText(value, FieldName(&UserRecord::groups), names, error)) return false;
    std::vector<std::string> unknown;
    ids = CAccountEditor(input.programDir).GroupNamesToIds(names, &unknown);
    if (!unknown.empty()) return Refuse(error, "unknown group " + Quoted(unknown.front()));
    return true;
}

// One field of a user body, by its row.
bool ApplyUserField(const UserField& row, const json& value, const UserInput& input,
                    UserRecord& user, std::string& error) {
    if (const auto* p = std::get_if<Permission>(&row.member)) {
        bool granted = false;
        if (!ReadBool(value, row.name, granted, error)) return false;
        user.permissions.granted[static_cast<std::size_t>(*p)] = granted;
        return true;
    }
    if (Fills(row, &UserRecord::id)) return ReadId(value, user.id, error);
    if (Fills(row, &UserRecord::status)) return ReadStatus(value, user.status, error);
    if (Fills(row, &UserRecord::reserved)) return ReadReserved(value, user.reserved, error);
    if (Fills(row, &UserRecord::groups)) return ReadGroupNames(value, input, user.groups, error);
    if (Fills(row, &UserRecord::password)) {
        std::string clear;
        if (!ReadText(value, row.name, clear, error)) return false;
        return PasswordToStore(clear, input.hashPasswords, user.password) ||
               Refuse(error, "the password cannot be hashed");
    }
    if (Fills(row, &UserRecord::name)) {
        if (!ReadText(value, row.name, user.name, error)) return false;
        error = NameProblem(row.name, user.name);
        return error.empty();
    }
    if (const auto* text = std::get_if<std::string UserRecord::*>(&row.member))
        return ReadText(value, row.name, user.*(*text), error);
    if (Fills(row, &UserRecord::downloadLimit) || Fills(row, &UserRecord::uploadLimit)) {
        bool on = false;
        if (!ReadBool(value, row.name, on, error)) return false;
        user.*std::get<std::int32_t UserRecord::*>(row.member) = on ? 1 : 0;
        return true;
    }
    std::int64_t count = 0;
    if (!ReadCount(value, row.name, count, error)) return false;
    if (const auto* integer = std::get_if<std::int32_t UserRecord::*>(&row.member))
        user.*(*integer) = static_cast<std::int32_t>(count);
    if (const auto* number = std::get_if<double UserRecord::*>(&row.member))
        user.*(*number) = static_cast<double>(count);
    return true;
}

// A stored quota as whole KB; a table may hold any double, and a cast of one out of range
// is undefined.
std::int64_t WholeKb(double kb) {
    if (!(kb > 0)) return 0;  // NaN too
    constexpr double kLargest = 9.0e18;
    return kb >= kLargest ? static_cast<std::int64_t>(kLargest) : static_cast<std::int64_t>(kb);
}

void AddPermissions(json& out, const PermissionSet& permissions) {
    for (std::size_t i = 0; i < kPermissionCount; ++i)
        out[std::string(kPermissionRows[i].field)] = permissions.granted[i];
    out[std::string(kPermissionsText)] = PermissionsToText(permissions);
}

// "permissions" first, so that single permission fields given beside it win.
bool ApplyPermissionText(const json& body, PermissionSet& permissions,
                         std::vector<std::string_view>& owned, std::string& error) {
    const auto text = body.find(kPermissionsText);
    if (text == body.end()) return true;
    if (!ReadPermissionText(*text, permissions, error)) return false;
    for (const PermissionRow& row : kPermissionRows) owned.push_back(row.field);
    return true;
}

}  // namespace

std::string NameProblem(std::string_view what, std::string_view name) {
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return Quoted(what) + " cannot hold control characters";
    if (name.find_first_of("/\\") != std::string_view::npos)
        return Quoted(what) + " cannot hold \"/\" or \"\\\"";
    if (name == "." || name == "..") return Quoted(what) + " cannot be \".\" or \"..\"";
    return {};
}

nlohmann::json UserToJson(const UserRecord& user,
                          const std::map<std::int32_t, std::string>& groupNames) {
    json out = json::object();
    for (const UserField& row : kUserFields) {
        const std::string name(row.name);
        if (Fills(row, &UserRecord::password) || std::holds_alternative<Permission>(row.member))
            continue;
        if (Fills(row, &UserRecord::groups))
            out[name] = JoinGroupNames(user.groups, groupNames);
        else if (Fills(row, &UserRecord::status))
            out[name] = IsStatusEnabled(user.status) ? 1 : 0;
        else if (Fills(row, &UserRecord::downloadLimit) || Fills(row, &UserRecord::uploadLimit))
            out[name] = user.*std::get<std::int32_t UserRecord::*>(row.member) == 1;
        else if (const auto* text = std::get_if<std::string UserRecord::*>(&row.member))
            out[name] = user.*(*text);
        else if (const auto* integer = std::get_if<std::int32_t UserRecord::*>(&row.member))
            out[name] = user.*(*integer);
        else if (const auto* number = std::get_if<double UserRecord::*>(&row.member))
            out[name] = WholeKb(user.*(*number));
    }
    AddPermissions(out, user.permissions);
    return out;
}

nlohmann::json GroupToJson(const GroupRecord& group) {
    return {{std::string(FieldName(&GroupRecord::id)), group.id},
            {std::string(FieldName(&GroupRecord::name)), group.name},
            {std::string(FieldName(&GroupRecord::notes)), group.notes}};
}

nlohmann::json FoldersToJson(const std::vector<VirtualFolder>& folders) {
    json out = json::array();
    for (const VirtualFolder& f : folders) {
        json folder = {{std::string(FieldName(&VirtualFolder::id)), f.id},
                       {std::string(FieldName(&VirtualFolder::name)), f.name},
                       {std::string(FieldName(&VirtualFolder::dir)), f.dir}};
        AddPermissions(folder, f.permissions);
        out.push_back(std::move(folder));
    }
    return out;
}

bool ApplyUserJson(const nlohmann::json& body, const UserInput& input, UserRecord& user,
                   std::vector<std::string_view>& owned, std::string& error) {
    if (!body.is_object()) return Refuse(error, "the body needs a JSON object");
    if (!ApplyPermissionText(body, user.permissions, owned, error)) return false;
    for (const auto& [key, value] : body.items()) {
        if (key == kPermissionsText) continue;
        const UserField* row = FindUserRow(key);
        if (row == nullptr) return Refuse(error, "unknown field " + Quoted(key));
        if (!ApplyUserField(*row, value, input, user, error)) return false;
        if (!Fills(*row, &UserRecord::id)) owned.push_back(row->name);
    }
    return true;
}

bool ApplyGroupJson(const nlohmann::json& body, GroupRecord& group,
                    std::vector<std::string_view>& owned, std::string& error) {
    if (!body.is_object()) return Refuse(error, "the body needs a JSON object");
    for (const auto& [key, value] : body.items()) {
        if (key == FieldName(&GroupRecord::id)) {
            if (!ReadId(value, group.id, error)) return false;
            continue;
        }
        const auto member = key == FieldName(&GroupRecord::name)    ? &GroupRecord::name
                            : key == FieldName(&GroupRecord::notes) ? &GroupRecord::notes
                                                                    : nullptr;
        if (member == nullptr) return Refuse(error, "unknown field " + Quoted(key));
        if (!ReadText(value, key, group.*member, error)) return false;
        if (member == &GroupRecord::name) {
            error = NameProblem(key, group.name);
            if (!error.empty()) return false;
        }
        owned.push_back(member == &GroupRecord::name ? FieldName(&GroupRecord::name)
                                                     : FieldName(&GroupRecord::notes));
    }
    return true;
}

namespace {

bool FolderFromJson(const json& body, VirtualFolder& folder, std::string& error) {
    if (!body.is_object()) return Refuse(error, "a folder needs a JSON object");
    folder.permissions = PermissionsFromText(kDefaultPermissionText);
    std::vector<std::string_view> owned;
    if (!ApplyPermissionText(body, folder.permissions, owned, error)) return false;
    for (const auto& [key, value] : body.items()) {
        if (key == kPermissionsText) continue;
        const FolderField* row = nullptr;
        for (const FolderField& candidate : kFolderFields)
            if (candidate.name == key && !std::holds_alternative<std::monostate>(candidate.member))
                row = &candidate;
        if (row == nullptr) return Refuse(error, "unknown field " + Quoted(key));
        if (const auto* p = std::get_if<Permission>(&row->member)) {
            bool granted = false;
            if (!ReadBool(value, key, granted, error)) return false;
            folder.permissions.granted[static_cast<std::size_t>(*p)] = granted;
        } else if (const auto* text = std::get_if<std::string VirtualFolder::*>(&row->member)) {
            if (!ReadText(value, key, folder.*(*text), error)) return false;
        } else {
            std::int64_t id = 0;  // keeps the stored fields no member fills
            if (!ReadCount(value, key, id, error)) return false;
            folder.id = static_cast<std::int32_t>(id);
        }
    }
    // "/" is refused by the editor, with its message.
    const std::string problem = NameProblem(FieldName(&VirtualFolder::name), folder.name);
    if (!problem.empty() && folder.name.find('/') == std::string::npos)
        return Refuse(error, problem);
    return true;
}

}  // namespace

bool FoldersFromJson(const nlohmann::json& body, std::vector<VirtualFolder>& folders,
                     std::string& error) {
    if (!body.is_array()) return Refuse(error, "the body needs a JSON array of folders");
    folders.clear();
    for (const json& item : body) {
        VirtualFolder folder;
        if (!FolderFromJson(item, folder, error)) return false;
        for (const VirtualFolder& earlier : folders)
            if (earlier.name == folder.name)
                return Refuse(error,
                              "A virtual folder named " + Quoted(folder.name) + " exists already.");
        folders.push_back(std::move(folder));
    }
    return true;
}
