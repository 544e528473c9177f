// The text of an INI file held line by line, so one key can change while every other byte
// (comments, blank lines, unknown keys, line endings) stays as it was.
//
// Syntax, as the Windows profile functions read it:
//   [Section]          opens a section; the name is the text between "[" and the first "]",
//                      blanks around it ignored
//   key=value          a key line; blanks around the key and around the value are ignored
//   ; text  or  # text a comment; any other line without "=" is kept and otherwise ignored
// Section and key names match without regard to ASCII letter case. Where a name occurs
// twice, the first section and, inside it, the first key count. Key lines before the first
// section belong to no section and are never found. Values are taken as written: quotes
// are not removed, and a ";" inside a value is part of it. A UTF-8 byte-order mark at the
// start is kept but not part of the first line. Lines end in LF or CR LF; new lines take
// the ending of the file's first line (LF in an empty file).
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CIniDocument {
public:
    CIniDocument() = default;

    // Replaces the content with `text`. Never fails: every byte sequence is some INI text.
    void Parse(std::string_view text);
    // The content with the changes applied, byte for byte the parsed text where unchanged.
    std::string Serialize() const;

    // The value of `key` in `section` whole (not cut), or nothing when either is missing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;

    // Sets `key` in `section` to `value`. An existing key line keeps its spelling and
    // everything up to the value; a new key goes after the last non-blank line of its
    // section; a new section goes at the end of the file. The caller checks the names and
    // the value first (IsValidName, IsValidValue): a line break in them would make new lines.
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // A section or key name this class can write and find again: not empty, no blanks at
    // either end, no line break, NUL, "[", "]" or "=", not starting with ";" or "#".
    static bool IsValidName(std::string_view name);
    // A value that stays on its line: no CR, LF or NUL.
    static bool IsValidValue(std::string_view value);

private:
    struct Line {
        std::string text;  // without its ending
        std::string eol;   // "\n", "\r\n" or "" (last line without an ending)
    };

    // Index of the header line of the first section named `section`, or npos.
    std::size_t FindSection(std::string_view section) const;
    // Index of the line of `key` in the section whose header is at `header`, or npos.
    std::size_t FindKey(std::size_t header, std::string_view key) const;
    // Index one past the last line of the section whose header is at `header`.
    std::size_t SectionEnd(std::size_t header) const;
    void InsertLine(std::size_t at, std::string text);
    std::string NewLineEnding() const;

    std::string m_bom;
    std::vector<Line> m_lines;
};
