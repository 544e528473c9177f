// Reading and writing account fields by name whatever their stored type: integer fields
// may be Byte, Short or Long, quotas Double (or Float) in tables made elsewhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class CKorvTable;

// The integer value of the current record's field: Byte, Short and Long are read into a
// zeroed 32-bit integer; any other type is read through its text. 0 when missing.
std::int32_t ReadIntField(const CKorvTable& table, std::string_view name);
double ReadNumberField(const CKorvTable& table, std::string_view name);

// Store into the edit buffer. False when the table lacks the field (a table from an
// earlier release that was not upgraded: the value would be lost) or refuses the value,
// with the reason, naming the field and the file, in `error` when given.
[[nodiscard]] bool WriteIntField(CKorvTable& table, std::string_view name, std::int32_t value,
                                 std::string* error = nullptr);
[[nodiscard]] bool WriteNumberField(CKorvTable& table, std::string_view name, double value,
                                    std::string* error = nullptr);
// The same; a text longer than the field's declared width is refused rather than cut.
[[nodiscard]] bool WriteTextField(CKorvTable& table, std::string_view name, std::string_view text,
                                  std::string& error);

// The message of a write to a field `table` lacks.
std::string MissingFieldError(const CKorvTable& table, std::string_view name);
