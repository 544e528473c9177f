// The IP filter: the filter mode and the allow and deny lists, checked once per connection.
//
// List files "acceptip.txt" (allow) and "rejectip.txt" (deny) in the program directory:
// one text without line breaks or terminator, entries separated by single commas, no
// blanks ("10.0.0.1,192.168.*.*"). Empty entries (a leading comma, as appending to an empty
// list leaves) are skipped; blanks and line breaks around an entry (a hand-edited file)
// are ignored. A zero byte ends the text. Matching: config/IpPattern.h.
//
// Threads: IsAllowed and the getters may run on any number of threads at once; the setters,
// Load and Save run on one thread at a time (the window's). The state is an immutable
// snapshot published through an atomic pointer: a setter builds a new snapshot and swaps it
// in with one atomic store; a check counts itself in a readers counter, loads the pointer
// and works on a snapshot nobody changes, so it never waits for a setter and never sees a
// half-replaced list. A replaced snapshot is freed only by a setter that finds the readers
// counter at zero after publishing: any check that starts later loads the new pointer, so no
// check can still hold an old one (all counter and pointer operations are sequentially
// consistent). Old snapshots wait for the next quiet moment or the destructor.
// (std::atomic<std::shared_ptr> would do, but GCC 12's unlocks its internal spin bit with a
// relaxed store, which ThreadSanitizer rightly reports as a race.)
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "config/FilterMode.h"
#include "config/IpPattern.h"

class CIpFilter {
public:
    enum class List { Allow, Deny };

    CIpFilter();   // FilterMode::Off, both lists empty
    ~CIpFilter();  // no check may be running
    CIpFilter(const CIpFilter&) = delete;
    CIpFilter& operator=(const CIpFilter&) = delete;

    // Whether the mode and lists admit the client (config/FilterMode.h); a mode of any
    // other number refuses everyone. Any thread, no lock.
    bool IsAllowed(std::string_view dottedAddress) const;

    FilterMode GetMode() const;
    std::string GetList(List list) const;
    // Any number is kept as given (a mode of 3 then refuses everyone).
    void SetMode(FilterMode mode);
    void SetList(List list, std::string_view text);
    // Mode and both lists in one step, so no check sees a mix of old and new.
    void Replace(FilterMode mode, std::string_view allowText, std::string_view denyText);
    // Appends "," + entry to the list (the form the online-users page writes), unless an
    // entry equal to it is already there. True when it was appended. The filter then
    // decides as the appended text read from the file would (see SplitEntries).
    bool AppendEntry(List list, std::string_view entry);

    // Reads the allow list, then the deny list, from `programDir` (ending in "/"). A missing
    // file leaves its list as it is. False when a file exists but cannot be read or is
    // larger than kMaxIpListFileSize; that list is kept and GetLastError says which.
    [[nodiscard]] bool Load(const std::string& programDir);
    // Load for one list.
    [[nodiscard]] bool LoadList(const std::string& programDir, List list);
    // One list file's text, for a running server taking it again: a missing file is an
    // empty list. False, with `error` naming the file and the entry, when it cannot be
    // read or holds an entry IsValidIpListEntry refuses (a typo in a deny list would
    // otherwise deny nobody without a word). Any thread.
    [[nodiscard]] static bool ReadListChecked(const std::string& programDir, List list,
                                              std::string& text, std::string& error);
    // Writes the deny list to "rejectip.txt" and the allow list to "acceptip.txt", each
    // replaced whole and atomically. False when either failed (both are tried).
    [[nodiscard]] bool Save(const std::string& programDir) const;
    [[nodiscard]] bool SaveList(const std::string& programDir, List list) const;

    const std::string& GetLastError() const { return m_lastError; }

    static const char* FileName(List list);
    // True for an entry the address dialog can make: four dot-separated parts, each "*" or
    // one to three digits of value at most 255.
    static bool IsValidEntry(std::string_view entry);
    // True when the list holds an entry equal to `entry` as a whole (ASCII case ignored).
    static bool ContainsEntry(std::string_view listText, std::string_view entry);
    // The non-empty entries of a list text, in stored order, blanks and line breaks around
    // each removed.
    static std::vector<std::string> SplitEntries(std::string_view listText);
    // Entries joined by single commas, no comma at either end, empty entries left out.
    static std::string JoinEntries(const std::vector<std::string>& entries);

private:
    struct Snapshot;
    class ReadGuard;
    // Builds a snapshot from the current one with `change` applied and publishes it.
    template <typename Change>
    void Publish(Change change);
    bool Fail(std::string why) const;

    std::atomic<const Snapshot*> m_current;  // never null; owned by m_owned
    mutable std::atomic<long> m_readers{0};  // checks between loading m_current and done
    std::mutex m_writeLock;                  // guards m_owned, m_retired; orders setters
    std::unique_ptr<const Snapshot> m_owned;
    std::vector<std::unique_ptr<const Snapshot>> m_retired;  // may still be in a check's hands
    mutable std::string m_lastError;  // written by Load and Save on the setters' thread
};
