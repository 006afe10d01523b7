// The discovery program's entry points for tests: the parsers of its input
// files on text in memory or a path of the test's, and the source of the
// association table. The program itself goes through the other headers.
#pragma once

#include "mac_text.h"

#include <cstddef>

// The MAC text of one "/proc/net/arp" line when its address column is exactly
// the address, its hardware type is 0x1 (Ethernet) and the entry is complete;
// an entry the kernel is still resolving (flags 0x0, all-zero address) has
// no MAC yet.
bool arp_line_mac(const char *line, const char *address, char *mac /* kMacTextSize */);
// The MAC text of the first line of the table's text in memory that
// arp_line_mac accepts; mac (a cleared buffer of kMacTextSize) stays empty
// when none does.
void arp_table_mac(const char *text, size_t len, const char *address, char *mac);
// get_mac_from_arptable with the ARP table read from the file at table.
int get_mac_from_arptable_in(const char *table, const char *address, char *mac);

// 1 when a line of the file begins with the MAC text, else 0 (also when the
// file does not open or is no regular file). Prints the tagged "Find mac at
// lltd table" on a match.
int mac_listed_in(const char *path, const char *mac);
// The same for the list's text in memory.
int mac_listed_in_text(const char *text, size_t len, const char *mac);

struct LeaseRecord {
  char mac[kMacTextSize];
  char address[16]; // dotted decimal
  char name[17];    // a name filling all 16 bytes has no NUL of its own
};
// False for a slot that holds no lease: a MAC of all zero bytes or a zero
// lease time.
bool read_lease_record(const unsigned char *record, LeaseRecord *lease);
// Walks the whole 40-byte records of a lease file's text in order, skipping
// empty slots, until visit returns false; a short last record is a file the
// server is still writing and ends the walk. False when visit stopped it.
using LeaseVisitor = bool (*)(const LeaseRecord &lease, void *context);
bool each_lease(const unsigned char *data, size_t len, LeaseVisitor visit, void *context);

// ReadInfo_NUM for the count file's text in memory.
const char *count_value_in(const char *text, size_t len);

// Fills the cleared table; returns 0, or -1 when the table cannot be had.
using AssocTableSource = int (*)(unsigned char *table, size_t size);
// nullptr restores the driver on "ra0".
void set_assoc_table_source(AssocTableSource source);
// 1 when the MAC text is in the table, else 0. Prints each entry looked at
// and never looks past the 32nd entry, whatever count the driver reports.
int find_in_assoc_table(const unsigned char *table, const char *mac);
