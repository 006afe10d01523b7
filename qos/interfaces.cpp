// Which devices play the WAN, LAN and bridge roles.
#include "state.h"

#include "nvram.h"
#include "textnum.h"

#include <cstdio>
#include <cstring>

const char *getWanIfName()
{
  static const char *last = "br0";
  const char *mode = nvram_bufget(0, "OperationMode");
  if (mode == nullptr)
    return last;
  static constexpr const char *kByMode[] = {"br0", "eth2.2", "ra0", "apcli0"};
  static constexpr const char *kModes[] = {"0", "1", "2", "3"};
  for (int i = 0; i < 4; ++i) {
    if (strcmp(mode, kModes[i]) == 0)
      last = kByMode[i];
  }
  return last;
}

const char *getWanIfNamePPP()
{
  const char *conn = nvram_bufget(0, "wanConnectionMode");
  if (conn != nullptr && (strcmp(conn, "PPPOE") == 0 || strcmp(conn, "L2TP") == 0 || strcmp(conn, "PPTP") == 0))
    return "ppp0";
  return getWanIfName();
}

int initIF()
{
  nvram_init(0);
  OP_MODE = text_to_int(nvram_bufget(0, "OP_Mode"));
  if (OP_MODE == 0) {
    printf("Gateway Mode\n");
    LAN_IF = "br0";
    BR_IF = "br0";
    WLAN_IF = nullptr;
  } else if (OP_MODE == 6) {
    printf("WISP Mode\n");
    LAN_IF = "eth2";
    BR_IF = "eth2";
    WLAN_IF = nullptr;
  }
  WAN_IF = getWanIfNamePPP();
  LAN_IP = nvram_bufget(0, "lan_ipaddr");
  LAN_MASK = nvram_bufget(0, "lan_netmask");
  printf("%sOP_MODE=%d\n", kVxTag, OP_MODE);
  printf("%sWAN_IF=%s\n", kVxTag, dev_text(WAN_IF));
  printf("%sLAN_IF=%s\n", kVxTag, dev_text(LAN_IF));
  printf("%sWLAN_IF=%s\n", kVxTag, dev_text(WLAN_IF));
  printf("%sBR_IF=%s\n", kVxTag, dev_text(BR_IF));
  return 0;
}
