// The wireless driver's association table: a 32-bit entry count in host byte
// order, then 32 entries of 44 bytes with the station's MAC in bytes 1 to 6.
#pragma once

#include <cstddef>

inline constexpr size_t kAssocTableSize = 1412;
inline constexpr int kAssocTableEntries = 32;
inline constexpr size_t kAssocEntrySize = 44;
// The driver's private request that copies its table into the caller's buffer.
inline constexpr unsigned long kGetMacTableRequest = 0x8BEF;

// Fills the cleared table; returns 0, or -1 when the table cannot be had.
using AssocTableSource = int (*)(unsigned char *table, size_t size);
// Tests hand in their own table; nullptr restores the driver on "ra0".
void set_assoc_table_source(AssocTableSource source);

// 1 when the MAC text is in the table, else 0. Prints each entry looked at
// and never looks past the 32nd entry, whatever count the driver reports.
int find_in_assoc_table(const unsigned char *table, const char *mac);

// 1 associated, 0 not, -1 when the table cannot be fetched.
int checkmac_wireless(const char *mac);
