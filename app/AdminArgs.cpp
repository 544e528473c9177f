#include "app/AdminArgs.h"

#include <charconv>

bool CAdminArgs::Parse(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--help" || word == "-h") {
            m_help = true;
            continue;
        }
        if (word.size() < 3 || word.compare(0, 2, "--") != 0) {
            m_positional.push_back(word);
            continue;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& s : specs)
            if (s.name == word) spec = &s;
        if (spec == nullptr) {
            m_lastError = "unknown option " + word;
            return false;
        }
        if (!spec->takesValue) {
            m_values[word] = {};
        } else if (i + 1 < args.size()) {
            m_values[word] = args[++i];
        } else {
            m_lastError = word + " needs a value";
            return false;
        }
    }
    return true;
}

const std::string& CAdminArgs::Value(std::string_view option) const {
    static const std::string kEmpty;
    auto it = m_values.find(std::string(option));
    return it == m_values.end() ? kEmpty : it->second;
}

bool ParseCount(const std::string& text, long long& value) {
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && stop == end && value >= 0 && value <= 0x7fffffff;
}

int Report(std::ostream& err, int status, const std::string& message) {
    err << "tarvona-admin: " << message << '\n';
    return status;
}
