// Command-line parsing shared by tarvona-admin's account commands: positional words and
// "--name value" options, each command declaring which options it takes.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// Exit statuses of tarvona-admin.
inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;  // the operation was refused (exists, unknown, unreadable)
inline constexpr int kExitBadArguments = 2;

struct OptionSpec {
    std::string_view name;  // with the leading "--"
    bool takesValue;
};

class CAdminArgs {
public:
    // Splits `args` by `specs`. False, with the reason in GetLastError(), on an unknown
    // option or an option without its value.
    [[nodiscard]] bool Parse(const std::vector<std::string>& args,
                             const std::vector<OptionSpec>& specs);

    const std::vector<std::string>& Positional() const { return m_positional; }
    bool Has(std::string_view option) const { return m_values.count(std::string(option)) != 0; }
    const std::string& Value(std::string_view option) const;
    bool HasOptions() const { return !m_values.empty(); }
    bool WantsHelp() const { return m_help; }
    const std::string& GetLastError() const { return m_lastError; }

private:
    std::vector<std::string> m_positional;
    std::map<std::string, std::string> m_values;
    bool m_help = false;
    std::string m_lastError;
};

// A whole decimal number from 0 to 2^31-1; false for anything else.
bool ParseCount(const std::string& text, long long& value);

// Prints "tarvona-admin: `message`" on `err` and returns `status`.
int Report(std::ostream& err, int status, const std::string& message);
