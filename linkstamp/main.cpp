#include "stamps.h"
#include "process.h"
#include "usage.h"

namespace {

constexpr char kUsage[] =
    "usage: linkstamp 0|1\n"
    "Records the uptime at which the WAN, LAN and WLAN links were last seen up\n"
    "(0 for a link that is down).\n"
    "  0  writes all three files /var/wan_link, /var/lan_link, /var/wlan_link\n"
    "  1  rewrites /var/wan_link when the WAN link changed\n"
    "Reads the switch ports with mii_mgr (through /tmp/WANstatus1) and RadioOff\n"
    "from the store.\n";

} // namespace

int main(int argc, char **argv)
{
  process_start();
  if (wants_help(argc, argv))
    return print_usage(kUsage);
  return linkstamp_main(argc, argv);
}
