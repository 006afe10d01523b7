#include "ssdp.h"
#include "process.h"
#include "usage.h"

namespace {

constexpr char kUsage[] =
    "usage: hostscout\n"
    "One run: records the wireless DHCP clients (/var/udhcpd.leases and the\n"
    "wireless driver's association table) and the network storage devices that\n"
    "answer one SSDP search (239.255.255.250:1900) as host record files\n"
    "/var/lltd_inf_lan<n> and /var/lltd_inf_wlan<n>, counted in /var/lltd_num_lan\n"
    "and /var/lltd_num_wlan. Also reads /var/lltd_mac and /proc/net/arp; ends a\n"
    "running hostscout through /var/run/hostscout.pid.\n";

} // namespace

int main(int argc, char **argv)
{
  process_start();
  if (wants_help(argc, argv))
    return print_usage(kUsage);
  return hostscout_main();
}
