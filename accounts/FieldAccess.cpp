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

bool Refuse(std::string* error, std::string why) {
    if (error != nullptr) *error = std::move(why);
    return false;
}

std::string CannotStore(const CKorvTable& table, std::string_view name) {
    return "cannot store \"" + std::string(name) + "\": " + table.GetLastError();
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

std::string MissingFieldError(const CKorvTable& table, std::string_view name) {
    return "\"" + std::string(name) + "\" is not a field of " + table.Path() +
           " (a table of an earlier release: \"tarvona-admin db upgrade " + table.Path() +
           "\" adds it)";
}

bool WriteIntField(CKorvTable& table, std::string_view name, std::int32_t value,
                   std::string* error) {
    const int field = table.FindField(name);
    if (field < 0) return Refuse(error, MissingFieldError(table, name));
    const bool stored = IsNarrowInteger(TypeOf(table, field))
                            ? table.SetFieldValue(field, &value, sizeof value)
                            : table.SetFieldText(field, std::to_string(value));
    return stored || Refuse(error, CannotStore(table, name));
}

bool WriteNumberField(CKorvTable& table, std::string_view name, double value, std::string* error) {
    const int field = table.FindField(name);
    if (field < 0) return Refuse(error, MissingFieldError(table, name));
    bool stored = false;
    if (TypeOf(table, field) == FieldType::Double) {
        stored = table.SetFieldValue(field, &value, sizeof value);
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "%.0f", value);
        stored = table.SetFieldText(field, text);
    }
    return stored || Refuse(error, CannotStore(table, name));
}

bool WriteTextField(CKorvTable& table, std::string_view name, std::string_view text,
                    std::string& error) {
    const int field = table.FindField(name);
    if (field < 0) return Refuse(&error, MissingFieldError(table, name));
    if (TypeOf(table, field) == FieldType::Text) {
        const auto width =
            static_cast<std::size_t>(table.Header().fieldWidths[static_cast<std::size_t>(field)]);
        if (text.size() > width) {
            error = "\"" + std::string(name) + "\" holds at most " + std::to_string(width) +
                    " characters";
            return false;
        }
    }
    return table.SetFieldText(field, text) || Refuse(&error, CannotStore(table, name));
}
