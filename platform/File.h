// A plain binary file with positioned I/O and whole-file advisory locks (flock).
// The only way the record engine touches the file system.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/FileIdentity.h"
#include "platform/UniqueFd.h"

enum class FileOpenMode {
    ReadOnly = 0,   // the file must exist
    ReadWrite = 1,  // the file must exist
    Create = 2,     // read and write; created when missing, contents kept (truncate explicitly)
};

enum class FileLockKind { Shared = 0, Exclusive = 1 };

// One open file description. Not copyable; closing (or destruction) releases its lock.
// NOTE: flock locks belong to the open file description, so two CFile objects on the
// same path conflict even inside one thread: a thread that holds a file must never
// open it a second time and lock it, or it waits on itself.
// A CFile is used by one thread at a time.
class CFile {
public:
    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens `path` with O_CLOEXEC. A file made by Create is readable by its owner only
    // (mode 0600 less the umask). On failure returns false and GetLastError() says why.
    [[nodiscard]] bool Open(const std::string& path, FileOpenMode mode);
    // Releases the lock and the descriptor; harmless when not open.
    void Close();
    bool IsOpen() const { return static_cast<bool>(m_fd); }

    // Waits at most `maxWait` for the lock, polling without blocking, so a lock that
    // another process (or a forgotten descriptor) keeps can never freeze the caller.
    // False when not granted in time: LockTimedOut() is then true. Changing the kind of a
    // held lock is not atomic (flock drops it first), so callers take the final kind at once.
    [[nodiscard]] bool Lock(FileLockKind kind, std::chrono::milliseconds maxWait);
    // Like Lock but returns false at once when another description holds a conflicting lock.
    [[nodiscard]] bool TryLock(FileLockKind kind);

    // Reads up to out.size() bytes at `offset`; fewer only at the end of the file.
    // Returns the number of bytes read, or -1 on an I/O error.
    [[nodiscard]] std::int64_t ReadAt(std::uint64_t offset, std::span<std::byte> out);
    // Reads exactly out.size() bytes; false on an I/O error or when the file ends first.
    [[nodiscard]] bool ReadExactAt(std::uint64_t offset, std::span<std::byte> out);
    // Writes all of `data` at `offset`, extending the file when needed.
    [[nodiscard]] bool WriteAt(std::uint64_t offset, std::span<const std::byte> data);
    [[nodiscard]] bool Size(std::uint64_t& size);
    // Which file this is and when it last changed (platform/FileIdentity.h).
    [[nodiscard]] bool Identity(FileIdentity& out) const;
    [[nodiscard]] bool Truncate(std::uint64_t size);
    [[nodiscard]] bool Sync();

    const std::string& GetLastError() const { return m_lastError; }
    // True when the last Lock gave up because another holder kept a conflicting lock.
    bool LockTimedOut() const { return m_lockTimedOut; }

    // While set, a Lock that is not granted at the first try gives up at once instead of
    // waiting (a stopping server never waits on a lock). Any thread.
    static void SetLockWaitsAbandoned(bool abandoned);

    // Bytes read through any CFile of this process since it started (for measurements).
    static std::uint64_t TotalBytesRead();

private:
    bool Fail(const char* what);

    UniqueFd m_fd;
    std::string m_path;
    std::string m_lastError;
    bool m_lockTimedOut = false;
};
