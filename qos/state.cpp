// The run state, filled from the store: which devices play the WAN, LAN and
// bridge roles, and the link speeds from the two bandwidth settings.
#include "state.h"
#include "qos_seams.h"

#include "nvram.h"
#include "textnum.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kInitialSpeed = 102400;
constexpr const char *kFirstWanIf = "br0";

} // namespace

int OP_MODE = 0;
const char *WAN_IF = nullptr;
const char *LAN_IF = nullptr;
const char *WLAN_IF = nullptr;
const char *BR_IF = nullptr;
const char *LAN_IP = nullptr;
const char *LAN_MASK = nullptr;
int UPLINK_SPEED = kInitialSpeed;
int DOWNLINK_SPEED = kInitialSpeed;
int qosEnable = 0;
int qosAutoEnable = 0;
unsigned portFilesCutReported = 0;
int CATEGORY_PRIO[kCategoryCount] = {0, 0, 0, 0, 0, 0};
int GAME_PRIO = 0, VOIP_PRIO = 0, MEDIA_PRIO = 0, WEB_PRIO = 0, P2P_PRIO = 0, MAIL_PRIO = 0;

namespace {

// getWanIfName's answer for a mode it does not know: the one it gave last.
const char *lastWanIf = kFirstWanIf;

constexpr int kSpeedCap = 51200;

// "512k" is 512, "10M" is 10240, a bare number is taken as it is. Only the
// first 7 characters of the setting count.
int parseSpeed(const char *value)
{
  char text[8] = {};
  strncpy(text, value != nullptr ? value : "", sizeof text - 1);
  int speed;
  if (strchr(text, 'k') != nullptr) {
    speed = text_to_int(text);
  } else if (strchr(text, 'M') != nullptr) {
    // Seven characters hold at most 999999M: the product stays within an int.
    speed = text_to_int(text) * 1024;
  } else {
    speed = text_to_int(text);
  }
  return speed > kSpeedCap ? kSpeedCap : speed;
}

} // namespace

void resetRunState()
{
  OP_MODE = 0;
  WAN_IF = LAN_IF = WLAN_IF = BR_IF = nullptr;
  LAN_IP = LAN_MASK = nullptr;
  UPLINK_SPEED = DOWNLINK_SPEED = kInitialSpeed;
  qosEnable = qosAutoEnable = 0;
  portFilesCutReported = 0;
  for (int &p : CATEGORY_PRIO)
    p = 0;
  GAME_PRIO = VOIP_PRIO = MEDIA_PRIO = WEB_PRIO = P2P_PRIO = MAIL_PRIO = 0;
  lastWanIf = kFirstWanIf;
}

const char *getWanIfName()
{
  const char *mode = nvram_bufget(0, "OperationMode");
  if (mode == nullptr)
    return lastWanIf;
  static constexpr const char *kByMode[] = {"br0", "eth2.2", "ra0", "apcli0"};
  static constexpr const char *kModes[] = {"0", "1", "2", "3"};
  for (int i = 0; i < 4; ++i) {
    if (strcmp(mode, kModes[i]) == 0)
      lastWanIf = kByMode[i];
  }
  return lastWanIf;
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

int initSpeed()
{
  UPLINK_SPEED = parseSpeed(nvram_bufget(0, "VX_QoSUploadBw"));
  DOWNLINK_SPEED = parseSpeed(nvram_bufget(0, "VX_QoSDownloadBw"));
  printf("%sUPLINK_SPEED=%d\n", kVxTag, UPLINK_SPEED);
  printf("%sDOWNLINK_SPEED=%d\n", kVxTag, DOWNLINK_SPEED);
  return 0;
}
