// The DHCP server's lease file (40-byte records: host name, hardware address
// field, leased address, lease time), walked record by record as hostscout
// reads it, one record at a time and through the walk over the file's text;
// the fields it takes go into host records other components read.
#include "check.h"

#include "hostscout_seams.h"
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

struct Walk {
  std::vector<LeaseRecord> seen;
  size_t stop_after; // 0: never stops
};

bool collect(const LeaseRecord &lease, void *context)
{
  Walk &walk = *static_cast<Walk *>(context);
  walk.seen.push_back(lease);
  return walk.seen.size() != walk.stop_after;
}

bool same(const LeaseRecord &a, const LeaseRecord &b)
{
  return strcmp(a.mac, b.mac) == 0 && strcmp(a.address, b.address) == 0 && strcmp(a.name, b.name) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 64 * kLeaseRecordSize)
    return 0;
  // The whole records in order, each read on its own and checked.
  std::vector<LeaseRecord> expected;
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
    expected.push_back(lease);
  }

  // The walk over the file's text visits the same leases, and stops when told.
  Walk walk{{}, size % 5};
  bool whole = each_lease(data, size, collect, &walk);
  bool stops = walk.stop_after != 0 && walk.stop_after <= expected.size();
  FUZZ_CHECK(whole == !stops);
  FUZZ_CHECK(walk.seen.size() == (stops ? walk.stop_after : expected.size()));
  for (size_t i = 0; i < walk.seen.size(); ++i)
    FUZZ_CHECK(same(walk.seen[i], expected[i]));
  return 0;
}
