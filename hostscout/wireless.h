// The wireless driver's association table: a 32-bit entry count in host byte
// order, then 32 entries of 44 bytes with the station's MAC in bytes 1 to 6.
#pragma once

#include <cstddef>

inline constexpr size_t kAssocTableSize = 1412;
inline constexpr int kAssocTableEntries = 32;
inline constexpr size_t kAssocEntrySize = 44;
// The room handed to the driver, which copies its whole table whatever the
// buffer's size: a driver built for more stations than 32 (256 here) writes
// past the 32nd entry, which is never read.
inline constexpr size_t kAssocTableRoom = 4 + 256 * kAssocEntrySize;
// The driver's private request that copies its table into the caller's buffer.
inline constexpr unsigned long kGetMacTableRequest = 0x8BEF;

// 1 associated, 0 not, -1 when the table cannot be fetched.
int checkmac_wireless(const char *mac);
