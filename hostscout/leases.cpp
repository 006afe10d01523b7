#include "leases.h"

#include "command.h"
#include "known_hosts.h"
#include "records.h"
#include "tagged.h"
#include "wireless.h"

#include <cstdio>
#include <cstring>

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

int get_info_from_dhcp()
{
  print_tagged("%s\n", kAtLine);
  print_tagged("Get info from DHCP\n");
  // The DHCP server writes its current leases to the file on SIGUSR1.
  run_command("killall -q -USR1 udhcpd");

  FILE *f = fopen(kLeaseFile, "r");
  if (f == nullptr)
    return 0;
  unsigned char record[kLeaseRecordSize];
  // A short last record is a file the server is still writing: it ends the scan.
  while (fread(record, 1, sizeof record, f) == sizeof record) {
    LeaseRecord lease;
    if (!read_lease_record(record, &lease))
      continue;
    print_tagged("dhcp client mac => %s\n", lease.mac);
    if (checkmac_lltd(lease.mac) == 1)
      continue;
    if (checkmac_wireless(lease.mac) != 1) {
      print_tagged("Not at wireless list\n");
      continue;
    }
    int old = record_count(kWirelessHosts);
    print_tagged("Add info => old lltd_num_wlan=%d\n", old);
    int n = next_record_number(old);
    write_record_count(kWirelessHosts, n);
    write_host_record(kWirelessHosts, n, HostRecord{lease.mac, "71", lease.address, lease.name});
  }
  fclose(f);
  print_tagged("%s\n", kAtLine);
  return 0;
}
