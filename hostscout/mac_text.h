// MAC text: the six address bytes as 12 lowercase hex digits, no separators,
// the one form in which leases, the association table and the ARP table meet.
#pragma once

#include <cstddef>

inline constexpr size_t kMacTextSize = 13;

void format_mac_text(const unsigned char *bytes, char *out /* kMacTextSize */);
