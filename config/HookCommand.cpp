#include "config/HookCommand.h"

#include "platform/Text.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool SplitHookCommand(std::string_view line, std::vector<std::string>& argv, std::string& error) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;  // an empty "" is an argument of its own
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\') {
            if (i + 1 == line.size()) {
                error = "the line ends with a backslash";
                return false;
            }
            word += line[++i];
            inWord = true;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (IsBlank(c) && !quoted) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) {
        error = "a double quote is not closed";
        return false;
    }
    if (inWord) words.push_back(std::move(word));
    if (!words.empty() && (words.front().empty() || words.front().front() != '/')) {
        error = "the program must be given by its absolute path";
        return false;
    }
    argv = std::move(words);
    return true;
}

bool IsHookUrl(std::string_view url) {
    constexpr std::string_view kScheme = "https://";
    return url.size() > kScheme.size() && EqualsNoCase(url.substr(0, kScheme.size()), kScheme) &&
           url[kScheme.size()] != '/';
}
