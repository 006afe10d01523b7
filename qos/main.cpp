#include "driver.h"
#include "process.h"
#include "usage.h"

namespace {

constexpr char kUsage[] =
    "usage: vx_qos [1 | mod_bt | mod_emule | mod_im | mod_ftp | mod_voip | --dry-run]\n"
    "Rebuilds the QoS set-up from the configuration store: HTB trees (tc)\n"
    "and MARK rules (iptables, ip6tables).\n"
    "  (none)     full build\n"
    "  1          full build, printing every command before it runs\n"
    "  mod_*      re-apply one service's chain after its port-mapping file changed\n"
    "  --dry-run  print every command a full build would run; run nothing\n"
    "Keys: docs/configuration.md. qosstat shows the trees.\n";

} // namespace

int main(int argc, char **argv)
{
  process_start();
  if (wants_help(argc, argv))
    return print_usage(kUsage);
  return vx_qos_main(argc, argv);
}
