#include "state.h"

int OP_MODE = 0;
const char *WAN_IF = nullptr;
const char *LAN_IF = nullptr;
const char *WLAN_IF = nullptr;
const char *BR_IF = nullptr;
const char *LAN_IP = nullptr;
const char *LAN_MASK = nullptr;
int UPLINK_SPEED = 102400;
int DOWNLINK_SPEED = 102400;
int qosEnable = 0;
int qosAutoEnable = 0;
int CATEGORY_PRIO[kCategoryCount] = {0, 0, 0, 0, 0, 0};
int GAME_PRIO = 0, VOIP_PRIO = 0, MEDIA_PRIO = 0, WEB_PRIO = 0, P2P_PRIO = 0, MAIL_PRIO = 0;

void resetRunState()
{
  OP_MODE = 0;
  WAN_IF = LAN_IF = WLAN_IF = BR_IF = nullptr;
  LAN_IP = LAN_MASK = nullptr;
  UPLINK_SPEED = DOWNLINK_SPEED = 102400;
  qosEnable = qosAutoEnable = 0;
  for (int &p : CATEGORY_PRIO)
    p = 0;
  GAME_PRIO = VOIP_PRIO = MEDIA_PRIO = WEB_PRIO = P2P_PRIO = MAIL_PRIO = 0;
}
