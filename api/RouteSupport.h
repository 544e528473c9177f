// Small helpers the route files share: reading a JSON object body strictly.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>

#include "api/ApiTypes.h"

// The request's body as a JSON object with no field outside `allowed`; otherwise the
// 400 answer that says what is wrong.
std::optional<ApiResponse> ReadObjectBody(const ApiRequest& request,
                                          std::initializer_list<const char*> allowed,
                                          nlohmann::json& out);
// The text field `name` of `object`, or a 400 when it is missing or not a string.
std::optional<ApiResponse> ReadTextField(const nlohmann::json& object, const char* name,
                                         std::string& out);
// `text` as the login guard keeps addresses ("::ffff:10.0.0.1" is "10.0.0.1"); false when
// it is no IPv4 or IPv6 address.
bool CanonicalClientAddress(const std::string& text, std::string& out);
