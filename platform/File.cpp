// Positioned file I/O and flock for the record engine.
#include "platform/File.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<std::uint64_t> g_bytesRead{0};

int OpenFlags(FileOpenMode mode) {
    switch (mode) {
    case FileOpenMode::ReadOnly: return O_RDONLY;
    case FileOpenMode::ReadWrite: return O_RDWR;
    case FileOpenMode::Create: return O_RDWR | O_CREAT;
    }
    return O_RDONLY;
}

}  // namespace

CFile::~CFile() { Close(); }

bool CFile::Fail(const char* what) {
    m_lastError = std::string(what) + " " + m_path + ": " + std::strerror(errno);
    return false;
}

bool CFile::Open(const std::string& path, FileOpenMode mode) {
    Close();
    m_path = path;
    for (;;) {
        m_fd = ::open(path.c_str(), OpenFlags(mode) | O_CLOEXEC, 0644);
        if (m_fd >= 0) return true;
        if (errno != EINTR) return Fail("cannot open");
    }
}

void CFile::Close() {
    if (m_fd >= 0) ::close(m_fd);  // also drops the flock of this description
    m_fd = -1;
}

bool CFile::Lock(FileLockKind kind) {
    const int op = kind == FileLockKind::Exclusive ? LOCK_EX : LOCK_SH;
    for (;;) {
        if (::flock(m_fd, op) == 0) return true;
        if (errno != EINTR) return Fail("cannot lock");
    }
}

bool CFile::TryLock(FileLockKind kind) {
    const int op = (kind == FileLockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    for (;;) {
        if (::flock(m_fd, op) == 0) return true;
        if (errno != EINTR) return Fail("cannot lock");
    }
}

std::int64_t CFile::ReadAt(std::uint64_t offset, std::span<std::byte> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(m_fd, out.data() + done, out.size() - done,
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
        const ssize_t n = ::pwrite(m_fd, data.data() + done, data.size() - done,
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
    if (::fstat(m_fd, &st) != 0) return Fail("cannot stat");
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool CFile::Truncate(std::uint64_t size) {
    for (;;) {
        if (::ftruncate(m_fd, static_cast<off_t>(size)) == 0) return true;
        if (errno != EINTR) return Fail("cannot truncate");
    }
}

bool CFile::Sync() {
    for (;;) {
        if (::fdatasync(m_fd) == 0) return true;
        if (errno != EINTR) return Fail("cannot sync");
    }
}

std::uint64_t CFile::TotalBytesRead() { return g_bytesRead.load(std::memory_order_relaxed); }
