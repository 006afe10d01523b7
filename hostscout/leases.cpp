#include "leases.h"
#include "hostscout_seams.h"

#include "command.h"
#include "known_hosts.h"
#include "records.h"
#include "smallfile.h"
#include "tagged.h"
#include "wireless.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr char kAtLine[] = "@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@";
static_assert(sizeof kAtLine - 1 == 42);

bool all_zero(const unsigned char *bytes, size_t len)
{
  for (size_t i = 0; i < len; ++i) {
    if (bytes[i] != 0)
      return false;
  }
  return true;
}

} // namespace

bool read_lease_record(const unsigned char *record, LeaseRecord *lease)
{
  const unsigned char *mac = record + 16;
  const unsigned char *address = record + 32;
  const unsigned char *lease_time = record + 36;
  if (all_zero(mac, 6) || all_zero(lease_time, 4))
    return false;
  format_mac_text(mac, lease->mac);
  snprintf(lease->address, sizeof lease->address, "%u.%u.%u.%u", address[0], address[1], address[2],
           address[3]);
  memcpy(lease->name, record, 16);
  lease->name[16] = '\0';
  return true;
}

bool each_lease(const unsigned char *data, size_t len, LeaseVisitor visit, void *context)
{
  for (size_t at = 0; at + kLeaseRecordSize <= len; at += kLeaseRecordSize) {
    LeaseRecord lease;
    if (read_lease_record(data + at, &lease) && !visit(lease, context))
      return false;
  }
  return true;
}

namespace {

// Records the lease's client when it is new and associated; false once the
// run has written its last wireless record.
bool record_lease(const LeaseRecord &lease, void *context)
{
  int &written = *static_cast<int *>(context);
  print_tagged("dhcp client mac => %s\n", lease.mac);
  if (checkmac_lltd(lease.mac) == 1)
    return true;
  if (checkmac_wireless(lease.mac) != 1) {
    print_tagged("Not at wireless list\n");
    return true;
  }
  int old = record_count(kWirelessHosts);
  print_tagged("Add info => old lltd_num_wlan=%d\n", old);
  add_host_record(kWirelessHosts, next_record_number(old), HostRecord{lease.mac, "71", lease.address, lease.name});
  return ++written < kMaxWirelessRecords;
}

} // namespace

int get_info_from_dhcp()
{
  print_tagged("%s\n", kAtLine);
  print_tagged("Get info from DHCP\n");
  // The DHCP server writes its current leases to the file on SIGUSR1.
  run_command("killall -q -USR1 udhcpd");

  int fd = open_input(kLeaseFile);
  if (fd < 0)
    return 0;
  int written = 0;
  unsigned char chunk[kLeaseRecordSize * 16];
  size_t len;
  do {
    len = read_fully(fd, chunk, sizeof chunk);
  } while (each_lease(chunk, len, record_lease, &written) && len == sizeof chunk);
  close(fd);
  print_tagged("%s\n", kAtLine);
  return 0;
}
