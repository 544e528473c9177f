// Fuzz target: a mutated table file is opened and searched, walked, appended to, updated,
// deleted from and checked. Any crash, hang or sanitizer report is a bug.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "db/KorvTable.h"
#include "fuzz/HarnessSupport.h"
#include "tools/TableCheck.h"

namespace {

// One scratch table per fuzzing process, in a directory of its own on a memory file
// system where there is one (see MakeScratchDir), removed when the process ends.
class ScratchTable {
public:
    ~ScratchTable() {
        std::error_code ignored;
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ignored);
    }
    // The table's path; "" while no directory can be made (tried again at each call).
    const std::string& Path() {
        if (m_dir.empty()) {
            m_dir = MakeScratchDir("korvtable-fuzz-");
            if (!m_dir.empty()) m_path = m_dir + "/table.sdb";
        }
        return m_path;
    }

private:
    std::string m_dir;
    std::string m_path;
};

bool WriteTable(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return !out.fail();
}

void Walk(CKorvTable& t, int k) {
    int steps = 0;
    for (bool ok = t.MoveFirst(k); ok && steps < 2000; ok = t.MoveNext(k)) {
        ++steps;
        for (int f = 0; f < t.FieldCount(); ++f) static_cast<void>(t.GetFieldText(f));
    }
    static_cast<void>(t.MoveLast(k));
}

// Every value sits in a buffer longer than any key, as a caller's value would for the
// key it names.
void SeekValue(CKorvTable& t, int k, const void* value, std::size_t size) {
    char buffer[256] = {};
    std::memcpy(buffer, value, size);
    static_cast<void>(t.Seek(k, buffer));
}

void Search(CKorvTable& t, int k) {
    for (const char* text : {"folder00001", "a", "", "NAME3"})
        SeekValue(t, k, text, std::strlen(text));
    for (std::int64_t n : {0, 1, 2, 7, -1, 250}) {
        const double d = static_cast<double>(n);
        SeekValue(t, k, &n, sizeof n);
        SeekValue(t, k, &d, sizeof d);
    }
}

void Change(CKorvTable& t) {
    for (int i = 0; i < 3; ++i) {
        for (int f = 0; f < t.FieldCount(); ++f)
            static_cast<void>(t.SetFieldText(f, "fz" + std::to_string(i)));
        static_cast<void>(t.Append());
    }
    if (t.MoveFirst(0)) static_cast<void>(t.Delete());
    if (t.MoveLast(t.KeyCount() - 1)) {
        static_cast<void>(t.SetFieldText(t.FieldCount() - 1, "upd"));
        static_cast<void>(t.Update());
    }
    char fz1[256] = "fz1";
    if (t.Seek(0, fz1)) static_cast<void>(t.Delete());
    static_cast<void>(t.GetLastId());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchTable scratch;
    const std::string& path = scratch.Path();
    if (path.empty()) return SkipInput("scratch directory");
    if (!WriteTable(path, data, size)) return SkipInput("scratch table write");
    {
        CKorvTable t;
        if (t.Open(path, OpenMode::Read)) {
            for (int k = 0; k < t.KeyCount(); ++k) Walk(t, k);
        }
    }
    {
        CKorvTable t;
        if (t.Open(path)) {
            for (int k = 0; k < t.KeyCount(); ++k) Search(t, k);
            Change(t);
        }
    }
    CTableChecker checker;
    static_cast<void>(checker.Check(path));
    return 0;
}
