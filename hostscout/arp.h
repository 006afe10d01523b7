// The host's MAC from the kernel's ARP table, after a ping has made the
// kernel resolve it.
#pragma once

#include "mac_text.h"

#include <cstddef>

inline constexpr const char *kArpTable = "/proc/net/arp";

// The MAC text of one "/proc/net/arp" line when its address column is exactly
// the address, its hardware type is 0x1 (Ethernet) and the entry is complete;
// an entry the kernel is still resolving (flags 0x0, all-zero address) has
// no MAC yet.
bool arp_line_mac(const char *line, const char *address, char *mac /* kMacTextSize */);

// The MAC text of the first line of the table's text in memory that
// arp_line_mac accepts; mac (a cleared buffer of kMacTextSize) stays empty
// when none does.
void arp_table_mac(const char *text, size_t len, const char *address, char *mac);

// Pings the dotted address once, waiting at most one second for the reply,
// then fills mac (a cleared buffer of at least kMacTextSize bytes) with its
// MAC text from the kernel's ARP table, or leaves it empty. Returns 0.
int get_mac_from_arptable(const char *address, char *mac);
// The same with the ARP table read from the file at table.
int get_mac_from_arptable_in(const char *table, const char *address, char *mac);
