// Transfer files: shared reads, single-writer uploads, 64-bit offsets.
#include "platform/DataFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

CDataFile::~CDataFile() { Close(); }

bool CDataFile::Fail(const char* what) {
    m_lastError = std::string(what) + " " + m_path + ": " + std::strerror(errno);
    return false;
}

// SECURITY: a transfer reads or writes regular files only. The open does not block
// (a named pipe without a peer would hold the session thread in open(); a device may
// never end); anything but a regular file is closed again, and blocking I/O is
// restored for the file that stays.
bool CDataFile::KeepRegularFile(const char* what) {
    struct stat info;
    if (::fstat(m_fd.Get(), &info) != 0) {
        Fail(what);
        Close();
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        Fail(what);
        Close();
        return false;
    }
    // Of the flags F_SETFL changes, the open set O_NONBLOCK alone: 0 clears just that.
    if (::fcntl(m_fd.Get(), F_SETFL, 0) != 0) {
        Fail(what);
        Close();
        return false;
    }
    m_lengthAtOpen = static_cast<std::int64_t>(info.st_size);
    return true;
}

bool CDataFile::OpenRead(const std::string& path) {
    Close();
    m_path = path;
    for (;;) {
        m_fd.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (m_fd) break;
        if (errno != EINTR) return Fail("cannot open");
    }
    return KeepRegularFile("cannot read");
}

bool CDataFile::OpenWrite(const std::string& path) {
    Close();
    m_path = path;
    for (;;) {
        m_fd.Reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
        if (m_fd) break;
        if (errno != EINTR) return Fail("cannot open");
    }
    if (!KeepRegularFile("cannot write")) return false;
    // The lock belongs to this open description: a second upload of the same file,
    // from this process or another, fails here instead of interleaving its bytes.
    for (;;) {
        if (::flock(m_fd.Get(), LOCK_EX | LOCK_NB) == 0) break;
        if (errno == EINTR) continue;
        Fail("file in use");
        Close();
        return false;
    }
    m_writeOffset = 0;
    return true;
}

void CDataFile::Close() { m_fd.Reset(); }

std::int64_t CDataFile::Length() const {
    struct stat info;
    if (!m_fd || ::fstat(m_fd.Get(), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

bool CDataFile::FileSystemSpace(std::int64_t& available, std::int64_t& size) const {
    struct statvfs info;
    if (!m_fd || ::fstatvfs(m_fd.Get(), &info) != 0) return false;
    const auto unit = static_cast<std::int64_t>(info.f_frsize);
    available = static_cast<std::int64_t>(info.f_bavail) * unit;
    size = static_cast<std::int64_t>(info.f_blocks) * unit;
    return true;
}

bool CDataFile::KeepFirst(std::int64_t length) {
    const std::int64_t current = Length();
    if (length < 0 || current < length) {
        errno = EINVAL;
        return Fail("cannot keep the start of");
    }
    // A file that already has the length is not cut: on ext4 a truncate to 0 marks
    // the file for a forced flush at close (its guard for replace-by-truncate), which
    // would make the closing session thread submit the whole upload's write-back
    // before its 226.
    if (current != length) {
        for (;;) {
            if (::ftruncate(m_fd.Get(), static_cast<off_t>(length)) == 0) break;
            if (errno != EINTR) return Fail("cannot set the length of");
        }
    }
    m_writeOffset = length;
    return true;
}

long CDataFile::ReadAt(std::int64_t offset, void* buffer, std::size_t size) {
    for (;;) {
        ssize_t n = ::pread(m_fd.Get(), buffer, size, static_cast<off_t>(offset));
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) {
            Fail("cannot read");
            return -1;
        }
    }
}

bool CDataFile::WriteFromPipe(int pipeFd, std::size_t size) {
    while (size > 0) {
        loff_t offset = static_cast<loff_t>(m_writeOffset);
        ssize_t n = ::splice(pipeFd, nullptr, m_fd.Get(), &offset, size, SPLICE_F_MOVE);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return Fail("cannot write");
        }
        size -= static_cast<std::size_t>(n);
        m_writeOffset += n;
    }
    return true;
}

bool CDataFile::Write(const void* data, std::size_t size) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(m_fd.Get(), next, size, static_cast<off_t>(m_writeOffset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return Fail("cannot write");
        }
        next += n;
        size -= static_cast<std::size_t>(n);
        m_writeOffset += n;
    }
    return true;
}
