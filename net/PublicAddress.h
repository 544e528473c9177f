// The texts of public-address detection: reading the address-echo page's answer and
// forming the dynamic-DNS update request.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The answer of an address-echo page: "Your IP:" (exactly so) followed by the address.
// Blanks and line ends around the address are dropped. Gives the address only when it
// is a dotted IPv4 unicast address (the form PASV announces) that is not a loopback one.
// SECURITY: anything else is refused, so a broken or hostile page cannot hand the server
// a passive "address" of arbitrary text.
std::optional<std::string> ParseAddressReply(std::string_view reply);

// RFC 3986 percent-encoding: every byte but letters, digits and "-._~" becomes %XX.
std::string PercentEncode(std::string_view text);

// The update request: `base` + "updateurl2.php?name=...&password=...&url=http://ADDRESS:PORT
// &name2=&password2=&url2=", every value percent-encoded.
std::string BuildUpdateUrl(std::string_view base, std::string_view name, std::string_view password,
                           std::string_view address, int port);

// True for an http:// or https:// URL with a host (scheme letters in any case).
bool IsWebUrl(std::string_view url);
// The host of an http:// or https:// URL (without user, port or path); empty otherwise.
std::string UrlHost(std::string_view url);
