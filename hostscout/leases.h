// The DHCP server's lease file: 40-byte records, host name (16), hardware
// address field (16, the MAC in its first six bytes), leased address and
// lease time (4 each, network byte order).
#pragma once

#include <cstddef>

inline constexpr const char *kLeaseFile = "/var/udhcpd.leases";
inline constexpr size_t kLeaseRecordSize = 40;

// One run records at most this many wireless hosts, the most stations the
// association table holds; the scan ends with the last of them.
inline constexpr int kMaxWirelessRecords = 32;

// Records every leased client that the LLTD component does not list yet and
// that is associated with the wireless interface. A lease file that is no
// regular file counts as missing. Always returns 0.
int get_info_from_dhcp();
