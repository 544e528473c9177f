// Writes small valid tables of several shapes into DIR, as seeds for fuzz_korvtable:
// both record formats, every key type, duplicate chains, tombstones and free lists.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "db/KorvTable.h"

namespace {

bool Names(const std::string& path, int rows, int mode) {
    CKorvTable t;
    if (!t.AddField("id", FieldType::AutoInc, -1) || !t.AddField("name", FieldType::Text, 12) ||
        !t.AddField("group", FieldType::Long, -1) ||
        !t.AddKey("name", KeyKind::Unique, 1, mode, 0, -1) ||
        !t.AddKey("group", KeyKind::Duplicates, 2) || !t.Create(path))
        return false;
    for (int i = 0; i < rows; ++i) {
        const std::int32_t group = i % 7;
        if (!t.SetFieldText("name", "NAME" + std::to_string(i)) ||
            !t.SetFieldValue("group", group) || !t.Append())
            return false;
    }
    for (int i = 0; i < rows; i += 5) {
        if (t.SeekByName("name", ("NAME" + std::to_string(i)).c_str()) && !t.Delete()) return false;
    }
    return true;
}

bool Numbers(const std::string& path) {
    CKorvTable t;
    if (!t.AddField("b", FieldType::Byte, -1) || !t.AddField("s", FieldType::Short, -1) ||
        !t.AddField("f", FieldType::Float, -1) || !t.AddField("d", FieldType::Double, -1) ||
        !t.AddField("blk", FieldType::Block, -1) || !t.AddKey("b", KeyKind::Duplicates, 0) ||
        !t.AddKey("s", KeyKind::Unique, 1) || !t.AddKey("f", KeyKind::Duplicates, 2) ||
        !t.AddKey("d", KeyKind::Unique, 3) || !t.Create(path))
        return false;
    for (int i = 0; i < 40; ++i) {
        const std::string v = std::to_string(i);
        if (!t.SetFieldText("b", std::to_string(i % 2)) || !t.SetFieldText("s", v) ||
            !t.SetFieldText("f", std::to_string(i % 3) + ".5") || !t.SetFieldText("d", v + ".25") ||
            !t.Append())
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_korvtable_seeds DIR\n";
        return 2;
    }
    const std::string dir = argv[1];
    std::filesystem::create_directories(dir);
    bool ok = Names(dir + "/names-small.sdb", 12, 1) && Names(dir + "/names-split.sdb", 260, 2) &&
              Numbers(dir + "/numbers.sdb") && Names(dir + "/fixed.sdb", 0, 1);
    if (ok) {
        // The same shape with fixed records: flip the format word of an empty table, then fill it.
        std::FILE* f = std::fopen((dir + "/fixed.sdb").c_str(), "r+b");
        const unsigned char fixed[2] = {0xff, 0xff};
        ok =
            f != nullptr && std::fseek(f, 15380, SEEK_SET) == 0 && std::fwrite(fixed, 1, 2, f) == 2;
        if (f != nullptr) std::fclose(f);
        CKorvTable t;
        for (int i = 0; ok && i < 30; ++i) {
            const std::int32_t group = i % 3;
            ok = (i > 0 || t.Open(dir + "/fixed.sdb")) &&
                 t.SetFieldText("name", "F" + std::to_string(i)) &&
                 t.SetFieldValue("group", group) && t.Append();
        }
        if (ok && t.SeekByName("name", "F3")) ok = t.Delete();
    }
    if (!ok) std::cerr << "make_korvtable_seeds: could not write the seeds\n";
    return ok ? 0 : 1;
}
