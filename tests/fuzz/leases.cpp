// The DHCP server's lease file (40-byte records: host name, hardware address
// field, leased address, lease time), walked record by record as hostscout
// reads it; the fields it takes go into host records other components read.
#include "check.h"

#include "leases.h"
#include "validate.h"

#include <cstring>

namespace {

bool all_zero(const uint8_t *bytes, size_t len)
{
  for (size_t i = 0; i < len; ++i) {
    if (bytes[i] != 0)
      return false;
  }
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 64 * kLeaseRecordSize)
    return 0;
  for (size_t at = 0; at + kLeaseRecordSize <= size; at += kLeaseRecordSize) {
    const uint8_t *record = data + at;
    LeaseRecord lease;
    memset(&lease, 'x', sizeof lease);
    bool used = read_lease_record(record, &lease);
    FUZZ_CHECK(used == !(all_zero(record + 16, 6) || all_zero(record + 36, 4)));
    if (!used)
      continue;
    FUZZ_CHECK(fits(lease.mac, sizeof lease.mac) && strlen(lease.mac) == 12);
    FUZZ_CHECK(strspn(lease.mac, "0123456789abcdef") == 12);
    FUZZ_CHECK(fits(lease.address, sizeof lease.address) && is_dotted_ipv4(lease.address));
    FUZZ_CHECK(fits(lease.name, sizeof lease.name));
    FUZZ_CHECK(strncmp(lease.name, reinterpret_cast<const char *>(record), 16) == 0);
  }
  return 0;
}
