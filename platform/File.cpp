// Positioned file I/O and flock for the record engine.
#include "platform/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

namespace {

std::atomic<std::uint64_t> g_bytesRead{0};
std::atomic<bool> g_lockWaitsAbandoned{false};

// Short enough that a lock released by its holder is taken soon after, long enough that
// a held lock costs next to nothing while it is waited for.
constexpr std::chrono::milliseconds kLockPollInterval{5};

int OpenFlags(FileOpenMode mode) {
    switch (mode) {
        case FileOpenMode::ReadOnly:
            return O_RDONLY;
        case FileOpenMode::ReadWrite:
            return O_RDWR;
        case FileOpenMode::Create:
            return O_RDWR | O_CREAT;
    }
    return O_RDONLY;
}

int LockOperation(FileLockKind kind) { return kind == FileLockKind::Exclusive ? LOCK_EX : LOCK_SH; }

}  // namespace

CFile::~CFile() { Close(); }

bool CFile::Fail(const char* what) {
    m_lastError = std::string(what) + " " + m_path + ": " + std::strerror(errno);
    return false;
}

bool CFile::Open(const std::string& path, FileOpenMode mode) {
    Close();
    m_path = path;
    m_lockTimedOut = false;
    for (;;) {
        // SECURITY: tables hold passwords; a new file is its owner's alone.
        m_fd.Reset(::open(path.c_str(), OpenFlags(mode) | O_CLOEXEC, 0600));
        if (m_fd) return true;
        if (errno != EINTR) return Fail("cannot open");
    }
}

void CFile::Close() {
    m_fd.Reset();  // also drops the flock of this description
}

bool CFile::Lock(FileLockKind kind, std::chrono::milliseconds maxWait) {
    m_lockTimedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + maxWait;
    for (;;) {
        if (::flock(m_fd.Get(), LockOperation(kind) | LOCK_NB) == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return Fail("cannot lock");
        if (g_lockWaitsAbandoned.load(std::memory_order_relaxed) ||
            std::chrono::steady_clock::now() >= deadline) {
            m_lockTimedOut = true;
            m_lastError = "lock not granted in time on " + m_path;
            return false;
        }
        std::this_thread::sleep_for(kLockPollInterval);
    }
}

void CFile::SetLockWaitsAbandoned(bool abandoned) {
    g_lockWaitsAbandoned.store(abandoned, std::memory_order_relaxed);
}

bool CFile::TryLock(FileLockKind kind) {
    const int op = LockOperation(kind) | LOCK_NB;
    for (;;) {
        if (::flock(m_fd.Get(), op) == 0) return true;
        if (errno != EINTR) return Fail("cannot lock");
    }
}

std::int64_t CFile::ReadAt(std::uint64_t offset, std::span<std::byte> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(m_fd.Get(), out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Fail("cannot read");
            return -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    g_bytesRead.fetch_add(done, std::memory_order_relaxed);
    return static_cast<std::int64_t>(done);
}

bool CFile::ReadExactAt(std::uint64_t offset, std::span<std::byte> out) {
    const std::int64_t n = ReadAt(offset, out);
    if (n < 0) return false;
    if (static_cast<std::uint64_t>(n) != out.size()) {
        m_lastError = "short read in " + m_path;
        return false;
    }
    return true;
}

bool CFile::WriteAt(std::uint64_t offset, std::span<const std::byte> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::pwrite(m_fd.Get(), data.data() + done, data.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Fail("cannot write");
        if (n == 0) {
            errno = EIO;
            return Fail("cannot write");
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool CFile::Size(std::uint64_t& size) {
    struct stat st {};
    if (::fstat(m_fd.Get(), &st) != 0) return Fail("cannot stat");
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool CFile::Identity(FileIdentity& out) const {
    return m_fd && DescriptorIdentity(m_fd.Get(), out);
}

bool CFile::Truncate(std::uint64_t size) {
    for (;;) {
        if (::ftruncate(m_fd.Get(), static_cast<off_t>(size)) == 0) return true;
        if (errno != EINTR) return Fail("cannot truncate");
    }
}

bool CFile::Sync() {
    for (;;) {
        if (::fdatasync(m_fd.Get()) == 0) return true;
        if (errno != EINTR) return Fail("cannot sync");
    }
}

std::uint64_t CFile::TotalBytesRead() { return g_bytesRead.load(std::memory_order_relaxed); }
