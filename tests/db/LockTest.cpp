// Locking: readers share a table, a writer has it alone, across threads.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "db/KorvTable.h"
#include "platform/File.h"
#include "tests/db/TableFixtures.h"
#include "tests/support/TempDir.h"

namespace {

bool CanLock(const std::string& path, FileLockKind kind) {
    CFile f;
    return f.Open(path, FileOpenMode::ReadOnly) && f.TryLock(kind);
}

TEST(KorvTableLock, ReadersShareWritersExclude) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    WriteFolderTable(path, 3);
    {
        CKorvTable reader;
        ASSERT_TRUE(reader.Open(path, OpenMode::Read));
        EXPECT_TRUE(CanLock(path, FileLockKind::Shared));
        EXPECT_FALSE(CanLock(path, FileLockKind::Exclusive));
    }
    {
        CKorvTable writer;
        ASSERT_TRUE(writer.Open(path));
        EXPECT_FALSE(CanLock(path, FileLockKind::Shared));
    }
    EXPECT_TRUE(CanLock(path, FileLockKind::Exclusive));
}

// A lock held elsewhere (another process, or here another descriptor) is waited for a
// bounded time: the Open then fails as busy, not as a damaged or missing file. A lock
// released during the wait is taken.
TEST(KorvTableLock, OpenWaitsForAHeldLockOnlySoLong) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    WriteFolderTable(path, 3);
    CFile holder;
    ASSERT_TRUE(holder.Open(path, FileOpenMode::ReadOnly));
    ASSERT_TRUE(holder.TryLock(FileLockKind::Exclusive));
    CKorvTable table;
    EXPECT_FALSE(table.Open(path, OpenMode::Read));
    EXPECT_TRUE(table.IsBusy());
    std::thread release([&holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        holder.Close();
    });
    EXPECT_TRUE(table.Open(path, OpenMode::Read));
    EXPECT_FALSE(table.IsBusy());
    EXPECT_EQ(table.RecordCount(), 3);
    release.join();
    CKorvTable missing;
    EXPECT_FALSE(missing.Open(dir.Path("absent.sdb"), OpenMode::Read));
    EXPECT_FALSE(missing.IsBusy());
}

// A lock wait that runs out is the table saying "busy", which a caller answers by trying
// again; on a loaded machine (sanitizers, parallel tests) six threads can exceed one wait.
bool OpenWhenFree(CKorvTable& table, const std::string& path, OpenMode mode) {
    for (int attempt = 0; attempt < 15; ++attempt) {
        if (table.Open(path, mode)) return true;
        if (!table.IsBusy()) return false;
    }
    return false;
}

// Writers in several threads each open, append and close; none of their changes is lost.
TEST(KorvTableLock, ConcurrentWritersSerialise) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    WriteFolderTable(path, 0);
    constexpr int kThreads = 4;
    constexpr int kEach = 50;
    std::vector<std::thread> threads;
    for (int w = 0; w < kThreads; ++w) {
        threads.emplace_back([&path, w] {
            for (int i = 0; i < kEach; ++i) {
                CKorvTable t;
                ASSERT_TRUE(OpenWhenFree(t, path, OpenMode::ReadWrite));
                EXPECT_TRUE(AppendFolder(t, "w" + std::to_string(w) + "-" + std::to_string(i)));
            }
        });
    }
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&path] {
            for (int i = 0; i < kEach; ++i) {
                CKorvTable t;
                ASSERT_TRUE(OpenWhenFree(t, path, OpenMode::Read));
                int n = 0;
                for (bool ok = t.MoveFirst(1); ok; ok = t.MoveNext(1)) ++n;
                EXPECT_EQ(n, t.RecordCount());  // never a half-written index
            }
        });
    }
    for (std::thread& th : threads) th.join();
    CKorvTable t;
    ASSERT_TRUE(t.Open(path, OpenMode::Read));
    EXPECT_EQ(t.RecordCount(), kThreads * kEach);
    EXPECT_EQ(t.GetLastId(), kThreads * kEach);
    t.Close();
    EXPECT_EQ(CheckTable(path), 0);
}

}  // namespace
