// The daily activity-log file: <program dir>log/YYYYMMDD.txt (local date), plain text,
// one log line per line, each ended by CR LF, always appended, never truncated or deleted.
// The lines hold user names, addresses and paths, so the "log" directory is its owner's
// alone (created 0700 when missing, narrowed to 0700 when found wider) and so is every
// file in it (0600).
//
// Threads: every public function may be called from any thread. One mutex serialises the
// date check, the switch to a new day's file and the write, and each line is handed to
// the file in one write, so lines are never torn, interleaved or reordered
// against a day switch.
#pragma once
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/UniqueFd.h"

struct LogWriteStatus {
    bool written = false;     // the line is in the file and flushed
    bool newDay = false;      // the line started a new day's file (the log page empties then)
    bool openFailed = false;  // opening the new day's file failed just now; GetLastError()
                              // holds "Cannot create or open file: '<path>'"
};

class CLogFile {
public:
    // `extension` names the daily file ("log/YYYYMMDD" + extension) and `lineEnd` ends
    // each line: the audit log is "log/YYYYMMDD.jsonl" with LF, beside the daily log.
    explicit CLogFile(std::string extension = ".txt", std::string lineEnd = "\r\n")
        : m_extension(std::move(extension)), m_lineEnd(std::move(lineEnd)) {}
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // The program directory, ending in "/". Files go to its "log" folder.
    void SetBaseDirectory(std::string programDir);

    // Closes the open file and opens (creating it and the "log" directory when missing)
    // the file of the local date of now / of `when`, which becomes the current log date
    // even when the open fails. False when it cannot be opened: GetLastError() holds
    // "Cannot create or open file: '<path>'" and lines are not saved until a later open.
    [[nodiscard]] bool ReopenForToday();
    [[nodiscard]] bool ReopenFor(std::time_t when);

    // Appends `line` and CR LF, after switching to the file of a new date when the local
    // date of now (taken under the lock) / of `when` differs from the current log date. A
    // failed switch is reported once; later lines of that date are dropped quietly. A
    // failed write loses that line only: the next line is tried again.
    [[nodiscard]] LogWriteStatus WriteLine(std::string_view line);
    [[nodiscard]] LogWriteStatus WriteLine(std::string_view line, std::time_t when);

    void Close();

    std::string GetPath() const;  // the file open now or last tried
    std::string GetLastError() const;

    // "<programDir>log/YYYYMMDD.txt" (or `extension`) for the local date of `when`.
    static std::string PathFor(const std::string& programDir, std::time_t when,
                               const std::string& extension = ".txt");

private:
    // REQUIRES: m_lock held.
    bool ReopenLocked(std::time_t when);
    bool OpenLocked(const std::string& path);
    LogWriteStatus WriteLocked(std::string_view line, std::time_t when);

    const std::string m_extension;
    const std::string m_lineEnd;
    mutable std::mutex m_lock;  // guards every member below
    std::string m_baseDir;
    std::string m_path;
    UniqueFd m_file;
    int m_day = 0;  // current log date as YYYYMMDD; 0 before the first open
    std::string m_lastError;
};
