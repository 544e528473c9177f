#include "app/AdminUserShow.h"

#include <cmath>

#include "accounts/AccountFields.h"
#include "accounts/PermissionText.h"
#include "accounts/RecordText.h"
#include "app/AdminRemote.h"
#include "platform/Text.h"

namespace {

template <typename T>
bool Fills(const UserField& row, T UserRecord::*member) {
    return std::holds_alternative<T UserRecord::*>(row.member) &&
           std::get<T UserRecord::*>(row.member) == member;
}

// A field as stored: "name: value".
void ShowPlain(const UserField& row, const UserRecord& u, std::ostream& out) {
    out << row.name << ": ";
    if (const auto* text = std::get_if<std::string UserRecord::*>(&row.member)) out << u.*(*text);
    if (const auto* integer = std::get_if<std::int32_t UserRecord::*>(&row.member))
        out << u.*(*integer);
    if (const auto* number = std::get_if<double UserRecord::*>(&row.member))
        out << static_cast<long long>(u.*(*number));
    out << '\n';
}

// One line per field in field order; fields that read better together or in words are
// shown so, and a field with no special form shows as stored.
void ShowField(const UserField& row, const ShownUser& shown, std::ostream& out) {
    const UserRecord& u = shown.record;
    const auto limit = [](std::int32_t on, std::int32_t speed) {
        return on == 1 ? std::to_string(speed) + " KB/s" : "none";
    };
    if (const auto* p = std::get_if<Permission>(&row.member)) {
        if (*p == Permission::Read)
            out << "permissions: " << PermissionsToText(u.permissions) << '\n';
    } else if (Fills(row, &UserRecord::groups)) {
        out << "groups: " << shown.groupNames << '\n';
    } else if (Fills(row, &UserRecord::status)) {
        out << "status: " << StatusWord(u.status) << '\n';
    } else if (Fills(row, &UserRecord::downloadLimit)) {
        out << "download limit: " << limit(u.downloadLimit, u.downloadSpeed) << '\n';
    } else if (Fills(row, &UserRecord::uploadLimit)) {
        out << "upload limit: " << limit(u.uploadLimit, u.uploadSpeed) << '\n';
    } else if (Fills(row, &UserRecord::quotaMax)) {
        out << "quota: " << static_cast<long long>(u.quotaMax) << " KB, in use "
            << static_cast<long long>(u.quotaCurrent) << " KB\n";
    } else if (Fills(row, &UserRecord::password) && !shown.passwordKnown) {
        out << "password: (not shown by a server)\n";
    } else if (!Fills(row, &UserRecord::downloadSpeed) && !Fills(row, &UserRecord::uploadSpeed) &&
               !Fills(row, &UserRecord::quotaCurrent)) {
        ShowPlain(row, u, out);
    }
}

}  // namespace

void ShowUser(const ShownUser& shown, std::ostream& out) {
    for (const UserField& row : kUserFields) ShowField(row, shown, out);
}

void PrintUserListHead(std::ostream& out) { out << "ID\tUserID\tStatus\tGroup\tHome directory\n"; }

void PrintUserRow(std::ostream& out, const UserRecord& u, const std::string& groupNames) {
    out << u.id << '\t' << u.name << '\t' << StatusWord(u.status) << '\t' << groupNames << '\t'
        << u.homeDir << '\n';
}

UserRecord UserFromJson(const nlohmann::json& json) {
    UserRecord u;
    for (const UserField& row : kUserFields) {
        const auto found = json.find(std::string(row.name));
        if (found == json.end() || Fills(row, &UserRecord::groups)) continue;
        const nlohmann::json& value = *found;
        if (const auto* p = std::get_if<Permission>(&row.member)) {
            u.permissions.granted[static_cast<std::size_t>(*p)] =
                value.is_boolean() && value.get<bool>();
        } else if (Fills(row, &UserRecord::status)) {
            u.status = value == 1 ? kStatusEnabled : kStatusDisabled;
        } else if (Fills(row, &UserRecord::downloadLimit) || Fills(row, &UserRecord::uploadLimit)) {
            u.*std::get<std::int32_t UserRecord::*>(row.member) = value == true ? 1 : 0;
        } else if (const auto* text = std::get_if<std::string UserRecord::*>(&row.member)) {
            if (value.is_string()) u.*(*text) = ReplaceControlCharacters(value.get<std::string>());
        } else if (const auto* integer = std::get_if<std::int32_t UserRecord::*>(&row.member)) {
            if (value.is_number_integer()) u.*(*integer) = value.get<std::int32_t>();
        } else if (const auto* number = std::get_if<double UserRecord::*>(&row.member)) {
            // A stored quota is shown as a whole number; one out of that range is not.
            if (value.is_number() && std::fabs(value.get<double>()) < 9.0e18)
                u.*(*number) = value.get<double>();
        }
    }
    return u;
}

std::string GroupNamesOf(const nlohmann::json& user) {
    return ReplaceControlCharacters(TextOf(user, FieldName(&UserRecord::groups)));
}
