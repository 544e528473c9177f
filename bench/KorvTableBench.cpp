// Record engine benchmarks: Open + SeekByName("userid") + Close on a 100 000-record user
// table (what the server does for every look-up), append rate, MoveNext walk rate, and
// the bytes read per look-up.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "db/KorvTable.h"
#include "platform/File.h"

namespace {

constexpr int kUsers = 100000;

std::string UserName(int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "user%06d", (i * 7919) % kUsers);  // scattered insertion order
    return buf;
}

bool DefineUserTable(CKorvTable& t) {
    bool ok =
        t.AddField("id", FieldType::AutoInc, -1) && t.AddField("userid", FieldType::Text, 64) &&
        t.AddField("password", FieldType::Text, 64) && t.AddField("email", FieldType::Text, 128) &&
        t.AddField("group", FieldType::Text, 256) && t.AddField("homedir", FieldType::Text, 512) &&
        t.AddField("status", FieldType::Long, -1) && t.AddField("reserved", FieldType::Text, 32);
    for (const char* name :
         {"read", "write", "append", "delete", "rename", "dir_list", "dir_create", "dir_remove",
          "dir_rename", "download_limit", "download_speed", "upload_limit", "upload_speed"})
        ok = ok && t.AddField(name, FieldType::Long, -1);
    ok = ok && t.AddField("quota_max", FieldType::Double, -1) &&
         t.AddField("quota_current", FieldType::Double, -1);
    return ok && t.AddKey("userid", KeyKind::Unique, 1, 2, 0, -1);
}

// The user table, built once per run in a temporary directory.
class UserTable {
public:
    UserTable() {
        m_dir = std::filesystem::temp_directory_path() /
                ("tarvona-bench-db-" + std::to_string(std::rand()));
        std::filesystem::create_directories(m_dir);
        m_path = (m_dir / "user.sdb").string();
        CKorvTable t;
        if (!DefineUserTable(t) || !t.Create(m_path)) std::abort();
        const std::int32_t one = 1;
        for (int i = 0; i < kUsers; ++i) {
            if (!t.SetFieldText("userid", UserName(i)) || !t.SetFieldText("password", "secret") ||
                !t.SetFieldText("homedir", "/srv/ftp/" + UserName(i)) ||
                !t.SetFieldValue("status", one) || !t.Append())
                std::abort();
        }
    }
    ~UserTable() { std::filesystem::remove_all(m_dir); }
    const std::string& Path() const { return m_path; }

private:
    std::filesystem::path m_dir;
    std::string m_path;
};

const UserTable& Users() {
    static const UserTable table;
    return table;
}

void LookUp(benchmark::State& state, OpenMode mode) {
    const std::string& path = Users().Path();
    int i = 0;
    const std::uint64_t before = CFile::TotalBytesRead();
    for (auto _ : state) {
        CKorvTable t;
        const std::string name = UserName(i);
        i = (i + 7) % kUsers;
        if (!t.Open(path, mode) || !t.SeekByName("userid", name.c_str()))
            state.SkipWithError("look-up failed");
        t.Close();
    }
    state.counters["bytes_read_per_lookup"] =
        static_cast<double>(CFile::TotalBytesRead() - before) /
        static_cast<double>(state.iterations());
}

void BM_OpenSeekClose(benchmark::State& state) { LookUp(state, OpenMode::ReadWrite); }
void BM_OpenSeekCloseReadOnly(benchmark::State& state) { LookUp(state, OpenMode::Read); }

void BM_MoveNextWalk(benchmark::State& state) {
    CKorvTable t;
    if (!t.Open(Users().Path(), OpenMode::Read)) state.SkipWithError("open failed");
    const int key = static_cast<int>(state.range(0));
    std::int64_t records = 0;
    for (auto _ : state) {
        for (bool ok = t.MoveFirst(key); ok; ok = t.MoveNext(key)) ++records;
    }
    state.SetItemsProcessed(records);
}

void BM_Append(benchmark::State& state) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("tarvona-bench-append-" + std::to_string(std::rand()));
    std::filesystem::create_directories(dir);
    {
        CKorvTable t;
        if (!DefineUserTable(t) || !t.Create((dir / "user.sdb").string()))
            state.SkipWithError("create failed");
        int i = 0;
        char name[32];
        for (auto _ : state) {
            std::snprintf(name, sizeof name, "u%d", i++);
            if (!t.SetFieldText("userid", name) || !t.SetFieldText("homedir", "/srv") ||
                !t.Append())
                state.SkipWithError("append failed");
        }
        state.SetItemsProcessed(state.iterations());
    }
    std::filesystem::remove_all(dir);
}

}  // namespace

BENCHMARK(BM_OpenSeekClose)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenSeekCloseReadOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MoveNextWalk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Append)->Iterations(100000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
