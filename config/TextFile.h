// Reading a whole small file that the program or a person wrote, with a size bound.
#pragma once
#include <cstddef>
#include <string>

enum class FileReadResult { Read, Missing, Failed };

// The bytes of `path` into `*text`. Missing when no file is there (`*text` empty); Failed,
// with `*error` naming the file and the reason, when it cannot be read or holds more than
// `maxBytes` bytes (`*text` empty). Safe from any thread.
FileReadResult ReadTextFile(const std::string& path, std::size_t maxBytes, std::string* text,
                            std::string* error);
