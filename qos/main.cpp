#include "driver.h"
#include "process.h"
#include "usage.h"

namespace {

constexpr char kUsage[] =
    "usage: vx_qos [1 | mod_bt | mod_emule | mod_im | mod_ftp | mod_voip | --dry-run]\n"
    "Builds the QoS set-up from the configuration store: removes the old shaping\n"
    "trees and mangle rules, then (with VX_QoSEnable 1) builds HTB trees with tc on\n"
    "the WAN, LAN and wireless LAN devices and MARK rules with iptables.\n"
    "  (none)  full build\n"
    "  1       full build, printing every command before it runs\n"
    "  mod_*   re-apply one service's port chain after its port-mapping file changed\n"
    "  --dry-run  print every command a full build would run; run nothing\n"
    "VX_QoSBatch 1 applies the set-up as one tc batch and one iptables-restore commit.\n"
    "Reads the store (keys: docs/configuration.md) and the port-mapping files\n"
    "/var/bittorrent, /var/emule, /var/im, /var/ftp, /var/voip; writes the pid file\n"
    "/var/vx_qos.pid while it runs. qosstat shows the trees it built.\n";

} // namespace

int main(int argc, char **argv)
{
  process_start();
  if (wants_help(argc, argv))
    return print_usage(kUsage);
  return vx_qos_main(argc, argv);
}
