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

// Store into the edit buffer. A missing field is ignored (tables made elsewhere may
// lack optional fields); false when the table refuses the value.
[[nodiscard]] bool WriteIntField(CKorvTable& table, std::string_view name, std::int32_t value);
[[nodiscard]] bool WriteNumberField(CKorvTable& table, std::string_view name, double value);
// A text longer than the field's declared width is refused rather than cut, with the
// reason in `error`.
[[nodiscard]] bool WriteTextField(CKorvTable& table, std::string_view name, std::string_view text,
                                  std::string& error);
