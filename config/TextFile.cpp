#include "config/TextFile.h"

#include <fstream>
#include <system_error>

#include "platform/FileSystem.h"

namespace {

FileReadResult Failed(std::string* text, std::string* error, std::string why) {
    text->clear();
    *error = std::move(why);
    return FileReadResult::Failed;
}

}  // namespace

FileReadResult ReadTextFile(const std::string& path, std::size_t maxBytes, std::string* text,
                            std::string* error) {
    text->clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (IsAbsent(path)) return FileReadResult::Missing;
        return Failed(text, error, "cannot open '" + path + "'");
    }
    char chunk[8192];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text->append(chunk, static_cast<std::size_t>(in.gcount()));
        if (text->size() > maxBytes)
            return Failed(text, error,
                          "'" + path + "' is larger than " + std::to_string(maxBytes) + " bytes");
    }
    if (in.bad()) return Failed(text, error, "cannot read '" + path + "'");
    return FileReadResult::Read;
}
