// One INI file on disk read and written a key at a time, with the semantics of the profile
// functions the options rely on (syntax and matching: see config/IniDocument.h).
//
// Reading: a missing file, section or key, or an empty value, gives the caller's default;
// text values are cut to kMaxProfileValue bytes (never inside a UTF-8 sequence); integers
// are the value's leading decimal integer ("  7x" is 7, "abc" is 0).
// Writing: the file is read, the one key changed, and the whole text written to a
// temporary file in the same directory that is then renamed over the file, so a reader
// never sees a half-written file and a crash leaves the old or the new file whole. The
// first write creates the file. Integers are written as plain decimal text.
#pragma once
#include <optional>
#include <span>
#include <string>
#include <string_view>

class CIniDocument;

// One key to set: section, key and the value written.
struct IniEntry {
    std::string_view section;
    std::string_view key;
    std::string value;
};

class CIniFile {
public:
    explicit CIniFile(std::string path) : m_path(std::move(path)) {}

    const std::string& Path() const { return m_path; }

    // Reads the whole file into `doc`. A missing file gives an empty document and true.
    // False (`*error`, when given, says why) when the file exists but cannot be read or
    // exceeds kMaxOptionFileSize; `doc` is then empty. Safe from any thread.
    [[nodiscard]] bool Load(CIniDocument* doc, std::string* error = nullptr) const;

    // The profile reads. An unreadable file counts as missing. Safe from any thread.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    int ReadInt(std::string_view section, std::string_view key, int defaultValue) const;

    // Sets one key, keeping every other line. False when the names or value are unusable
    // (see CIniDocument::IsValidName / IsValidValue), when an existing file cannot be read
    // (it is then left alone rather than replaced by a file holding one key) or when the
    // new file cannot be written; GetLastError says which and why. Writes of all CIniFile
    // objects in the process are serialised, so two threads changing different keys of
    // the same file both take effect. Call from one thread per object (the last-error
    // text is not shared safely).
    [[nodiscard]] bool WriteString(std::string_view section, std::string_view key,
                                   std::string_view value);
    [[nodiscard]] bool WriteInt(std::string_view section, std::string_view key, int value);
    // Sets several keys in one read-modify-write, with the same rules; nothing is written
    // when any entry is unusable.
    [[nodiscard]] bool WriteEntries(std::span<const IniEntry> entries);

    const std::string& GetLastError() const { return m_lastError; }

    // What the profile read makes of a stored value: cut to the value limit; an empty value
    // counts as missing.
    static std::optional<std::string> ProfileText(const std::optional<std::string>& stored);

private:
    bool Fail(std::string why);

    std::string m_path;
    std::string m_lastError;
};
