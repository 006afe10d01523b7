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

// Records every leased client that the LLTD component does not list yet and
// that is associated with the wireless interface. Always returns 0.
int get_info_from_dhcp();
