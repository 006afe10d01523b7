// The DHCP server's lease file: 40-byte records, host name (16), hardware
// address field (16, the MAC in its first six bytes), leased address and
// lease time (4 each, network byte order).
#pragma once

#include "mac_text.h"

#include <cstddef>

inline constexpr const char *kLeaseFile = "/var/udhcpd.leases";
inline constexpr size_t kLeaseRecordSize = 40;

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

// One run records at most this many wireless hosts, the most stations the
// association table holds; the scan ends with the last of them.
inline constexpr int kMaxWirelessRecords = 32;

// Records every leased client that the LLTD component does not list yet and
// that is associated with the wireless interface. A lease file that is no
// regular file counts as missing. Always returns 0.
int get_info_from_dhcp();
