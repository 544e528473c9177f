// A file being downloaded or uploaded over a data connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/UniqueFd.h"

// One open file of a transfer. Not copyable; closing (or destruction) releases the
// upload lock. Used by one thread at a time.
class CDataFile {
public:
    CDataFile() = default;
    ~CDataFile();
    CDataFile(const CDataFile&) = delete;
    CDataFile& operator=(const CDataFile&) = delete;

    // Opens an existing regular file for reading; other readers and writers are not
    // hindered. Anything else (a directory, pipe, socket or device) is refused without
    // blocking.
    [[nodiscard]] bool OpenRead(const std::string& path);
    // Opens `path` for writing: created when missing, never truncated by the open, and
    // locked against every other upload of the same file (an exclusive flock taken
    // without waiting). False when the file cannot be opened, is not a regular file
    // (refused without blocking) or another upload holds it; the file is then closed
    // and untouched.
    [[nodiscard]] bool OpenWrite(const std::string& path);
    void Close();
    bool IsOpen() const { return static_cast<bool>(m_fd); }

    // The current length in bytes, or -1 when it cannot be read.
    std::int64_t Length() const;
    // The length when the file was opened (the open looked at it anyway); -1 when closed.
    std::int64_t LengthAtOpen() const { return m_fd ? m_lengthAtOpen : -1; }
    // The bytes an unprivileged writer may still use on the file's file system, and the
    // file system's size. False when they cannot be read.
    [[nodiscard]] bool FileSystemSpace(std::int64_t& available, std::int64_t& size) const;
    // Keeps the first `length` bytes, cutting any after them, and makes `length` the
    // write position. False (file untouched) when the file is shorter than that.
    [[nodiscard]] bool KeepFirst(std::int64_t length);
    // Reads up to `size` bytes at `offset`: bytes read (0 at or past the end), or -1.
    long ReadAt(std::int64_t offset, void* buffer, std::size_t size);
    // Writes all `size` bytes at the write position and advances it. False on any
    // failure (a full disk, a file-size limit); part of the data may then be written.
    [[nodiscard]] bool Write(const void* data, std::size_t size);
    // As Write, but the `size` bytes come from the pipe whose read end is `pipeFd`
    // (splice), which must hold them all.
    [[nodiscard]] bool WriteFromPipe(int pipeFd, std::size_t size);

    // The descriptor, for sending the file without copying. -1 when closed.
    int Handle() const { return m_fd.Get(); }
    const std::string& GetLastError() const { return m_lastError; }

private:
    bool Fail(const char* what);
    bool KeepRegularFile(const char* what);

    UniqueFd m_fd;
    std::int64_t m_writeOffset = 0;
    std::int64_t m_lengthAtOpen = -1;
    std::string m_path;
    std::string m_lastError;
};
