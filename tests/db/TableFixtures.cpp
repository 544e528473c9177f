#include "tests/db/TableFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/DbTool.h"

void DefineFolderSchema(CKorvTable& t) {
    ASSERT_TRUE(t.AddField("id", FieldType::AutoInc, -1));
    ASSERT_TRUE(t.AddField("name", FieldType::Text, 64));
    ASSERT_TRUE(t.AddField("dir", FieldType::Text, 512));
    for (const char* name : {"read", "write", "delete", "rename", "append", "execute", "dir_list",
                             "dir_create", "dir_remove", "dir_rename", "dir_sub", "reserved1"})
        ASSERT_TRUE(t.AddField(name, FieldType::Long, -1));
    ASSERT_TRUE(t.AddField("reserved2", FieldType::Text, 32));
    ASSERT_TRUE(t.AddKey("name", KeyKind::Unique, 1, 1, 0, 64));
}

bool AppendFolder(CKorvTable& t, const std::string& name, const std::string& dir) {
    const std::int32_t one = 1;
    return t.SetFieldText("name", name) && t.SetFieldText("dir", dir) &&
           t.SetFieldValue("read", one) && t.Append();
}

void WriteFolderTable(const std::string& path, int rows) {
    CKorvTable t;
    DefineFolderSchema(t);
    ASSERT_TRUE(t.Create(path));
    char name[32];
    for (int i = 0; i < rows; ++i) {
        std::snprintf(name, sizeof name, "folder%05d", i);
        ASSERT_TRUE(AppendFolder(t, name)) << t.GetLastError();
    }
}

namespace {

std::string Bytes(const std::string& path, std::size_t offset, std::size_t n) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string out(n, '\0');
    in.read(out.data(), static_cast<std::streamsize>(n));
    return out;
}

void Patch(const std::string& path, std::size_t offset, const std::string& bytes) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(f.good()) << "cannot patch " << path;
}

}  // namespace

std::int32_t ReadI32At(const std::string& path, std::size_t offset) {
    const std::string b = Bytes(path, offset, 4);
    return static_cast<std::int32_t>(
        static_cast<std::uint8_t>(b[0]) | static_cast<std::uint8_t>(b[1]) << 8 |
        static_cast<std::uint8_t>(b[2]) << 16 |
        static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[3])) << 24);
}

std::int16_t ReadI16At(const std::string& path, std::size_t offset) {
    const std::string b = Bytes(path, offset, 2);
    return static_cast<std::int16_t>(static_cast<std::uint8_t>(b[0]) |
                                     static_cast<std::uint8_t>(b[1]) << 8);
}

void PatchI32(const std::string& path, std::size_t offset, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    Patch(path, offset,
          std::string{static_cast<char>(v & 0xff), static_cast<char>((v >> 8) & 0xff),
                      static_cast<char>((v >> 16) & 0xff), static_cast<char>(v >> 24)});
}

void PatchI16(const std::string& path, std::size_t offset, std::int16_t value) {
    const auto v = static_cast<std::uint16_t>(value);
    Patch(path, offset, std::string{static_cast<char>(v & 0xff), static_cast<char>(v >> 8)});
}

void TruncateFile(const std::string& path, std::size_t size) {
    std::filesystem::resize_file(path, size);
}

std::size_t FileSize(const std::string& path) { return std::filesystem::file_size(path); }

int CheckTable(const std::string& path, std::string* report) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunDbCommand({"check", path}, out, err);
    if (report != nullptr) *report = out.str() + err.str();
    return status;
}
