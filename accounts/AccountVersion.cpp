#include "accounts/AccountVersion.h"

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <type_traits>

#include "accounts/AccountFields.h"

namespace {

class CFnv1a {
public:
    // Each value ends with a NUL so that ("ab", "c") and ("a", "bc") differ.
    void Add(std::string_view text) {
        for (const char c : text) Byte(static_cast<unsigned char>(c));
        Byte(0);
    }
    std::string Hex() const {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(m_hash));
        return text;
    }

private:
    void Byte(unsigned char b) {
        m_hash ^= b;
        m_hash *= 0x100000001b3ULL;
    }
    std::uint64_t m_hash = 0xcbf29ce484222325ULL;
};

std::string NumberText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

template <typename Record>
void AddFields(CFnv1a& hash, const Record& record, std::string_view leftOut) {
    for (const auto& row : FieldsOf<Record>()) {
        if (row.name == leftOut) continue;
        std::string value;
        if (const auto* text = std::get_if<std::string Record::*>(&row.member))
            value = record.*(*text);
        else if (const auto* integer = std::get_if<std::int32_t Record::*>(&row.member))
            value = std::to_string(record.*(*integer));
        else if (const auto* number = std::get_if<double Record::*>(&row.member))
            value = NumberText(record.*(*number));
        else if constexpr (!std::is_same_v<Record, GroupRecord>) {
            if (const auto* p = std::get_if<Permission>(&row.member))
                value = record.permissions.Has(*p) ? "1" : "0";
            else
                continue;  // a field no member fills
        } else {
            continue;
        }
        hash.Add(row.name);
        hash.Add(value);
    }
}

}  // namespace

std::string AccountVersion(const UserRecord& user) {
    CFnv1a hash;
    AddFields(hash, user, FieldName(&UserRecord::quotaCurrent));
    return hash.Hex();
}

std::string AccountVersion(const GroupRecord& group) {
    CFnv1a hash;
    AddFields(hash, group, {});
    return hash.Hex();
}

std::string AccountVersion(const std::vector<VirtualFolder>& folders) {
    CFnv1a hash;
    for (const VirtualFolder& folder : folders) {
        VirtualFolder unnumbered = folder;
        unnumbered.id = 0;
        AddFields(hash, unnumbered, {});
    }
    return hash.Hex();
}
