// Every bound of the record engine, used both by the checks and by the tests.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>

// The longest an Open or Create waits for another holder's lock on a table file.
inline constexpr std::chrono::milliseconds kTableLockWait{2000};

inline constexpr int kMaxFields = 128;    // field slots in the header
inline constexpr int kMaxKeys = 10;       // key slots in the header
inline constexpr int kMaxSegments = 128;  // segment slots per key
inline constexpr int kMaxAutoIncFields = 1;
inline constexpr int kMinTextWidth = 1;
inline constexpr int kMaxTextWidth = 1024;
inline constexpr int kMaxKeyLength = 128;         // bytes of a Text or composite key
inline constexpr std::size_t kNameSlotSize = 32;  // field and key names: 31 characters + NUL
inline constexpr std::size_t kMaxNameLength = kNameSlotSize - 1;
inline constexpr std::size_t kDescriptionSize = 60;  // 59 characters + NUL

inline constexpr int kNodeSlots = 201;  // one more than fits, so a full node can split
inline constexpr int kMaxNodeEntries = 200;
inline constexpr int kSplitKeep = 100;  // entries the old node keeps on a split

// Deeper than this means a damaged index: 200-way nodes reach 2^31 bytes far sooner.
inline constexpr int kMaxTreeDepth = 32;
inline constexpr int kFreeSlotProbes = 3;                 // free record slots examined per append
inline constexpr int kMaxBlockChain = 1000;               // longer block chains are left alone
inline constexpr std::uint32_t kMaxPackedLength = 65535;  // u16 length of a packed record
