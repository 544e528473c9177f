// CKorvTable: one open table of the record database (one ".sdb" file): defining and
// creating tables, finding records by any key, walking them in key order, reading and
// writing fields, appending, updating and deleting records.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/FieldType.h"
#include "db/Format.h"
#include "db/TableStore.h"

// How a table is opened. Every mode opens the file with no sharing restriction; the
// object then holds a whole-file flock until Close: shared for Read, exclusive for
// ReadWrite and Create. Locks work across threads and processes; an Open waits for the
// lock at most kTableLockWait (db/Limits.h) and then fails with IsBusy() true. A thread
// must not open a file it already holds through another table object (the second Open
// would wait for the first until it gives up).
enum class OpenMode {
    ReadWrite = 0,  // may change the table
    Read = 1,       // only reads; Append, Update and Delete fail
};

// One table object is used by one thread from Open to Close. Operations return true or
// false; a failure with a message leaves it in GetLastError(). Buffers passed as
// (buffer, length) hold a whole record image; length 0 means the record length.
class CKorvTable {
public:
    CKorvTable();
    ~CKorvTable();  // closes, writing the header when the table changed
    CKorvTable(const CKorvTable&) = delete;
    CKorvTable& operator=(const CKorvTable&) = delete;

    // ---- definition (before Create) ----
    // `width` is used by Text fields only (1-1024); pass -1 for the other types.
    [[nodiscard]] bool AddField(std::string_view name, FieldType type, int width);
    // `compareMode`, `start`, `length` matter for Text fields; 0, 0, -1 take the defaults.
    [[nodiscard]] bool AddKey(std::string_view name, KeyKind kind, int fieldNumber,
                              int compareMode = 0, int start = 0, int length = -1);
    // Creates (or empties) `path` with the defined fields and keys; the table is then open
    // for writing and empty.
    [[nodiscard]] bool Create(const std::string& path, std::string_view description = {});
    // Takes every field and key definition of the open table `source`, exactly as its
    // header holds them (names, types, widths, key segments), so a copy made with
    // AppendCopy keeps each record's bytes. Further fields may follow with AddField.
    [[nodiscard]] bool DefineLike(const CKorvTable& source);

    // ---- opening ----
    [[nodiscard]] bool Open(const std::string& path, OpenMode mode = OpenMode::ReadWrite);
    void Close();
    bool IsOpen() const { return m_open; }
    // The path given to the last Open or Create, for messages.
    const std::string& Path() const { return m_path; }

    // ---- finding and walking ----
    // `keyValue` is the value in binary form (Byte 1 byte, Short 2, Long/AutoInc 4,
    // Float 4, Double 8, Text a NUL-terminated text, composite the concatenated segments).
    [[nodiscard]] bool Seek(int keyNumber, const void* keyValue, void* buffer = nullptr,
                            std::size_t length = 0);
    [[nodiscard]] bool SeekByName(std::string_view keyName, const void* keyValue,
                                  void* buffer = nullptr, std::size_t length = 0);
    [[nodiscard]] bool MoveFirst(int keyNumber, void* buffer = nullptr, std::size_t length = 0);
    [[nodiscard]] bool MoveLast(int keyNumber, void* buffer = nullptr, std::size_t length = 0);
    [[nodiscard]] bool MoveNext(int keyNumber, void* buffer = nullptr, std::size_t length = 0);

    // ---- changing ----
    // Adds a record from `buffer` (or the edit buffer). The AutoInc field is assigned and
    // written back into `buffer` too. The current position does not move.
    [[nodiscard]] bool Append(void* buffer = nullptr, std::size_t length = 0);
    // Adds a record copied from another table: the first `length` bytes of the image are
    // `buffer`'s, the rest the edit buffer's; the AutoInc value is kept as given (a unique
    // key refuses one that is taken). A table with Block fields cannot take copies.
    [[nodiscard]] bool AppendCopy(const void* buffer, std::size_t length);
    // Replaces the current record; afterwards no record is current.
    [[nodiscard]] bool Update(void* buffer = nullptr, std::size_t length = 0);
    [[nodiscard]] bool Delete();

    // ---- fields ----
    // Copies the field of the current record; `size` is the room at `destination`, which
    // must hold the field's width (a 4-byte integer holds a Byte, Short or Long field).
    [[nodiscard]] bool GetFieldValue(int fieldNumber, void* destination, std::size_t size);
    [[nodiscard]] bool GetFieldValue(std::string_view fieldName, void* destination,
                                     std::size_t size);
    // Stores into the edit buffer; `size` bytes are readable at `value` and must cover the
    // field's width (Text: the text up to its NUL or `size`, whichever comes first).
    [[nodiscard]] bool SetFieldValue(int fieldNumber, const void* value, std::size_t size);
    [[nodiscard]] bool SetFieldValue(std::string_view fieldName, const void* value,
                                     std::size_t size);
    template <typename T>
    [[nodiscard]] bool GetFieldValue(std::string_view fieldName, T& out) {
        return GetFieldValue(fieldName, &out, sizeof out);
    }
    template <typename T>
    [[nodiscard]] bool SetFieldValue(std::string_view fieldName, const T& value) {
        return SetFieldValue(fieldName, &value, sizeof value);
    }
    std::string GetFieldText(int fieldNumber) const;
    std::string GetFieldText(std::string_view fieldName) const;
    [[nodiscard]] bool SetFieldText(int fieldNumber, std::string_view text);
    [[nodiscard]] bool SetFieldText(std::string_view fieldName, std::string_view text);
    int FindField(std::string_view fieldName) const;
    int GetFieldType(int fieldNumber) const;
    std::string GetFieldName(int fieldNumber) const;
    // Field 0 of the last record by key 0, or 0.
    std::int32_t GetLastId();

    const std::string& GetLastError() const { return m_lastError; }
    // True when the last Open or Create failed only because another holder kept the
    // file's lock longer than the bounded wait (try again later; nothing is wrong with it).
    bool IsBusy() const { return m_store.m_file.LockTimedOut(); }
    // The open file's identity, taken under the table's lock: what was read since Open
    // belongs to exactly this state of the file.
    [[nodiscard]] bool Identity(FileIdentity& out) const { return m_store.m_file.Identity(out); }
    // True when the last failure was an Append or Update refused because a unique key
    // already holds the record's value.
    bool IsDuplicateKey() const { return m_duplicateKey; }

    // ---- for inspection tools ----
    int FieldCount() const { return m_store.m_header.fieldCount; }
    int KeyCount() const { return m_store.m_header.keyCount; }
    std::int32_t RecordCount() const { return m_store.m_header.recordCount; }
    std::size_t RecordLength() const { return m_store.m_header.recordLength; }
    const TableHeader& Header() const { return m_store.m_header; }
    // The record position of the current record of key `k`, or -1.
    std::int32_t CurrentPosition(int k) const;

private:
    struct KeyPosition {
        std::int32_t node = kNoPosition;
        int slot = -1;
        std::int32_t record = kNoPosition;
        std::int32_t entryPos = kNoPosition;  // current chain entry, -1 outside a chain
        DuplicateEntry entry;                 // copy of it
        // A walk never yields more records than the table held when it began plus those
        // appended since, nor follows more leaf links than the file has nodes: a damaged
        // file with cyclic links ends the walk instead of repeating it forever.
        std::uint64_t nodeHops = 0;   // leaf links followed since positioned
        std::uint64_t yielded = 0;    // records reached since positioned
        std::uint64_t walkLimit = 0;  // most records the walk may reach
    };
    struct SavedState;

    bool Fail(std::string why);
    bool FailDuplicateKey();
    void ResetState();
    bool DefineChecks() const;
    bool ValidKey(int k) const { return k >= 0 && k < m_store.m_schema.KeyCount(); }
    bool ReadyForMove(int k) const;
    bool CanWrite();
    int FindKey(std::string_view name) const;
    void InitTextKey(std::size_t k, int width, int compareMode, int start, int length);

    // KorvTableMove.cpp
    bool EnterEntry(int k, std::int32_t nodePos, int slot, std::int32_t record, bool last);
    bool Position(int k, std::int32_t nodePos, int slot, std::int32_t leafRecord, bool last,
                  void* buffer, std::size_t length);
    bool StepInChain(int k, void* buffer, std::size_t length);
    void StartWalk(int k);
    bool CountStep(int k);
    bool LoadCurrent(std::int32_t record, void* buffer, std::size_t length);
    bool ReadLeafHeader(std::int32_t pos, NodeHeader& h);
    bool ReadLeafIntoCache(std::int32_t pos, NodeHeader& h);

    // KorvTableWrite.cpp
    bool AssignAutoInc(void* buffer, std::size_t length);
    bool SearchAllKeys(std::span<const std::byte> image,
                       std::vector<std::vector<std::byte>>& values,
                       std::vector<SearchResult>& found);
    bool AppendImage(std::vector<std::byte>& image);
    bool RemoveKey(int k, std::int32_t record);
    bool RemoveFromChain(int k, const SearchResult& r, std::int32_t record, bool& handled);
    bool ReleaseRecord(std::int32_t record);
    bool DeleteCurrent();

    CTableStore m_store;
    bool m_open = false;
    bool m_indexUsable = false;
    bool m_headerChanged = false;
    bool m_updating = false;
    bool m_readOnly = false;
    bool m_duplicateKey = false;       // the last failure was a unique key's refusal
    std::vector<std::byte> m_current;  // the record last read
    std::vector<std::byte> m_edit;     // what Append and Update write
    int m_currentKey = -1;
    std::array<KeyPosition, kMaxKeys> m_pos{};
    NodeHeader m_leafCache;
    std::int32_t m_leafCachePos = kNoPosition;
    std::array<bool, kMaxFields> m_assigned{};
    std::string m_lastError;
    std::string m_path;
};
