// HTB shaping trees: one per present device, root class at the link speed and
// the two default leaves selected by marks 2 and 4.
#include "build.h"

#include "cmd.h"
#include "state.h"

namespace {

constexpr int kHighMark = 2;
constexpr int kLowMark = 4;

} // namespace

// The doubled and tripled blanks are part of the command texts: the router's
// scripts and people reading the echo compare them as they stand.
int QoS_add_default_qdisc(const char *dev, int handle, int ceil)
{
  vx_doCmd("tc qdisc  add dev %s root handle %d:0 htb", dev, handle);
  vx_doCmd("tc class  add dev %s parent %d:   classid %d:1 htb rate %dkbit ceil %dkbit", dev, handle, handle, ceil,
           ceil);
  vx_doCmd("tc class  add dev %s parent %d:1 classid %d:%d htb rate 10kbit ceil %dkbit prio %d", dev, handle, handle,
           kHighMark, ceil, 1);
  vx_doCmd("tc class  add dev %s parent %d:1 classid %d:%d htb rate 10kbit  ceil %dkbit prio %d", dev, handle, handle,
           kLowMark, ceil, 4);
  // The queue handle is "1" followed by the mark, whatever the tree: queue
  // handles are per device, so the trees never collide.
  vx_doCmd("tc qdisc  add dev %s parent %d:%d handle 1%d: sfq perturb 5", dev, handle, kHighMark, kHighMark);
  vx_doCmd("tc qdisc  add dev %s parent %d:%d handle 1%d: sfq perturb 10", dev, handle, kLowMark, kLowMark);
  vx_doCmd("tc filter add dev %s parent %d:0 protocol ip prio %d  handle %d fw classid %d:%d", dev, handle, 1,
           kHighMark, handle, kHighMark);
  return vx_doCmd("tc filter add dev %s parent %d:0 protocol ip prio %d  handle %d fw classid %d:%d", dev, handle, 4,
                  kLowMark, handle, kLowMark);
}

int initQdisc()
{
  int rc = 0;
  if (WAN_IF != nullptr)
    rc = QoS_add_default_qdisc(WAN_IF, 1, UPLINK_SPEED);
  if (LAN_IF != nullptr)
    rc = QoS_add_default_qdisc(LAN_IF, 3, DOWNLINK_SPEED);
  if (WLAN_IF != nullptr)
    rc = QoS_add_default_qdisc(WLAN_IF, 5, DOWNLINK_SPEED);
  return rc;
}
