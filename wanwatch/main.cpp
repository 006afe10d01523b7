#include "daemon.h"
#include "process.h"
#include "usage.h"

namespace {

constexpr char kUsage[] =
    "usage: wanwatch\n"
    "WAN link watcher daemon: every five seconds probes the WAN link (the wired WAN\n"
    "port in gateway mode, the wireless client link in WISP mode) and on a change\n"
    "runs the connect or teardown sequence of the connection type (DHCP, PPPoE,\n"
    "PPTP, L2TP); redials a PPP connection that stays down while the link is up.\n"
    "Takes over from a running wanwatch through /var/run/wanwatch.pid.\n"
    "Reads the store (keys: docs/configuration.md), /etc/link and\n"
    "/proc/mt7620/gmac; writes /var/physical_wanIf_gw and the scratch files\n"
    "/tmp/WANstatus and /var/wisp_Essid_mac; starts udhcpc, pppd, l2tpd and the\n"
    "connection scripts.\n";

} // namespace

int main(int argc, char **argv)
{
  process_start();
  if (wants_help(argc, argv))
    return print_usage(kUsage);
  return wanwatch_main();
}
