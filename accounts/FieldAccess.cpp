#include "accounts/FieldAccess.h"

#include <cstdio>
#include <cstdlib>

#include "db/KorvTable.h"

namespace {

FieldType TypeOf(const CKorvTable& table, int field) {
    return static_cast<FieldType>(table.GetFieldType(field));
}

bool IsNarrowInteger(FieldType type) {
    return type == FieldType::Byte || type == FieldType::Short || type == FieldType::Long;
}

}  // namespace

std::int32_t ReadIntField(const CKorvTable& table, std::string_view name) {
    const int field = table.FindField(name);
    if (field < 0) return 0;
    // GetFieldValue needs a non-const table; the text form gives the same value for
    // every integer width and also covers a field stored as text.
    const std::string text = table.GetFieldText(field);
    return static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

double ReadNumberField(const CKorvTable& table, std::string_view name) {
    const int field = table.FindField(name);
    if (field < 0) return 0;
    return std::strtod(table.GetFieldText(field).c_str(), nullptr);
}

bool WriteIntField(CKorvTable& table, std::string_view name, std::int32_t value) {
    const int field = table.FindField(name);
    if (field < 0) return true;
    if (IsNarrowInteger(TypeOf(table, field)))
        return table.SetFieldValue(field, &value, sizeof value);
    return table.SetFieldText(field, std::to_string(value));
}

bool WriteNumberField(CKorvTable& table, std::string_view name, double value) {
    const int field = table.FindField(name);
    if (field < 0) return true;
    if (TypeOf(table, field) == FieldType::Double)
        return table.SetFieldValue(field, &value, sizeof value);
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", value);
    return table.SetFieldText(field, text);
}

bool WriteTextField(CKorvTable& table, std::string_view name, std::string_view text,
                    std::string& error) {
    const int field = table.FindField(name);
    if (field < 0) return true;
    if (TypeOf(table, field) == FieldType::Text) {
        const auto width =
            static_cast<std::size_t>(table.Header().fieldWidths[static_cast<std::size_t>(field)]);
        if (text.size() > width) {
            error = "\"" + std::string(name) + "\" holds at most " + std::to_string(width) +
                    " characters";
            return false;
        }
    }
    if (table.SetFieldText(field, text)) return true;
    error = "cannot store \"" + std::string(name) + "\": " + table.GetLastError();
    return false;
}
