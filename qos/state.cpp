// The run state, filled from the store: which devices play the WAN, LAN and
// bridge roles, and the link speeds from the two bandwidth settings.
#include "state.h"
#include "qos_seams.h"
#include "linklayer.h"

#include "nvram.h"
#include "pppsession.h"
#include "textnum.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kInitialSpeed = 102400;
// The WAN device of the operation modes "0" to "3".
constexpr char kWanIfByMode[4][7] = {"br0", "eth2.2", "ra0", "apcli0"};

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

namespace {

// getWanIfName's answer for a mode it does not know: the one it gave last,
// br0 at first.
unsigned lastWanMode = 0;

const char *pppReport = kPppReport;
// The WAN device of the PPP types.
char pppWanIf[IFNAMSIZ];

constexpr int kSpeedCap = 51200;

// "512k" is 512, "10M" is 10240, a bare number is taken as it is. Only the
// first 7 characters of the setting count.
int parseSpeed(const char *value)
{
  // Not on the stack: the program is single-threaded.
  static char text[8];
  strncpy(text, value != nullptr ? value : "", sizeof text - 1);
  int speed = text_to_int(text);
  // Seven characters hold at most 999999M: the product stays within an int.
  if (strchr(text, 'k') == nullptr && strchr(text, 'M') != nullptr)
    speed *= 1024;
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
  lastWanMode = 0;
}

void setPppReport(const char *path)
{
  pppReport = path != nullptr ? path : kPppReport;
}

void pppSessionIf(char (&ifname)[IFNAMSIZ])
{
  ppp_session_at(pppReport, ifname);
}

const char *getWanIfName()
{
  const char *mode = nvram_bufget(0, "OperationMode");
  if (mode != nullptr) {
    unsigned index = static_cast<unsigned char>(mode[0] - '0');
    if (index < 4 && mode[1] == '\0')
      lastWanMode = index;
  }
  return kWanIfByMode[lastWanMode];
}

const char *getWanIfNamePPP()
{
  const char *conn = nvram_bufget(0, "wanConnectionMode");
  if (conn != nullptr && (strcmp(conn, "PPPOE") == 0 || strcmp(conn, "L2TP") == 0 || strcmp(conn, "PPTP") == 0)) {
    // The session's interface, ppp1 for a pppd that found unit 0 taken.
    pppSessionIf(pppWanIf);
    return pppWanIf;
  }
  return getWanIfName();
}

bool isPppSession(const char *dev)
{
  return dev != nullptr && dev == pppWanIf;
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
  printf("vx_qos: OP_MODE=%d\nvx_qos: WAN_IF=%s\nvx_qos: LAN_IF=%s\nvx_qos: WLAN_IF=%s\nvx_qos: BR_IF=%s\n", OP_MODE,
         dev_text(WAN_IF), dev_text(LAN_IF), dev_text(WLAN_IF), dev_text(BR_IF));
  return 0;
}

int initSpeed()
{
  UPLINK_SPEED = parseSpeed(nvram_bufget(0, "VX_QoSUploadBw"));
  DOWNLINK_SPEED = parseSpeed(nvram_bufget(0, "VX_QoSDownloadBw"));
  lineStart();
  printf("%sUPLINK_SPEED=%d\n", kVxTag, UPLINK_SPEED);
  printf("%sDOWNLINK_SPEED=%d\n", kVxTag, DOWNLINK_SPEED);
  return 0;
}
