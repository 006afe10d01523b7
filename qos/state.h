// The QoS program's run state: device roles, LAN address, link speeds,
// switches and the priority tables that the application and user rules share,
// with the numbering plan that ties marks to shaping classes.
//
// Numbering plan: each shaped device has one HTB tree, handle 1 for WAN_IF,
// 3 for LAN_IF and 5 for WLAN_IF. In tree h, class h:1 is the root class and
// class h:m is the leaf selected by packet mark m (fw filter handle m), with an
// SFQ queue whose handle is the digit 1 followed by m.
#pragma once

#include <net/if.h>

inline constexpr char kVxTag[] = "vx_qos: ";

extern int OP_MODE;
extern const char *WAN_IF;  // nullptr: no such device
extern const char *LAN_IF;
extern const char *WLAN_IF;
extern const char *BR_IF;
extern const char *LAN_IP;  // as the store returned them
extern const char *LAN_MASK;
extern int UPLINK_SPEED;    // kbit/s
extern int DOWNLINK_SPEED;  // kbit/s
extern int qosEnable;
extern int qosAutoEnable;
// Bit i set: the port-mapping file of service i was reported as longer than
// what is read of it (once per file and run).
extern unsigned portFilesCutReported;

inline constexpr int kCategoryCount = 6; // game, voip, media, web, p2p, mail
extern int CATEGORY_PRIO[kCategoryCount];
// The categories' levels by name: the slots of CATEGORY_PRIO themselves.
inline constexpr int &GAME_PRIO = CATEGORY_PRIO[0];
inline constexpr int &VOIP_PRIO = CATEGORY_PRIO[1];
inline constexpr int &MEDIA_PRIO = CATEGORY_PRIO[2];
inline constexpr int &WEB_PRIO = CATEGORY_PRIO[3];
inline constexpr int &P2P_PRIO = CATEGORY_PRIO[4];
inline constexpr int &MAIL_PRIO = CATEGORY_PRIO[5];

inline constexpr int CLASS_PRIO[3] = {2, 4, 6};
inline constexpr int FILTER_PRIO[3] = {2, 4, 6};

// Marks: 2 and 4 select the default classes (and 6 the fair mode's lowest); application marks come from
// APP_MARK (plus 60 and 61 for the two mail directions); user rule n uses
// n+70 towards the WAN and n+80 towards the LAN.
inline constexpr int kHighMark = 2;
inline constexpr int kLowMark = 4;
// The fair mode's lowest class, for what the LAN marks CS1.
inline constexpr int kBulkMark = 6;
inline constexpr int kAppCount = 11;
// Held in place, not as pointers: each pointer would cost a relocation.
inline constexpr char APP_NAME[kAppCount][11] = {"xboxlive", "ps",  "zone",  "bnet",       "voip", "im",
                                                    "http",     "ftp", "emule", "bittorrent", "email"};
inline constexpr int APP_MARK[kAppCount] = {8, 16, 24, 32, 36, 40, 44, 48, 52, 56, 60};
inline constexpr int kPop3Mark = 60;
inline constexpr int kSmtpMark = 61;
inline constexpr int kUserRuleCount = 8;
inline constexpr int kUserWanMarkBase = 70;
inline constexpr int kUserLanMarkBase = 80;

// The bandwidth floor: a rate below 10 kbit/s (0 and negative values
// included) is raised to 10.
inline constexpr int kMinRate = 10;
inline void rate_check(int &rate)
{
  if (rate < kMinRate)
    rate = kMinRate;
}

// Prints a device role the way the router always has: an absent one as (null).
inline const char *dev_text(const char *dev)
{
  return dev != nullptr ? dev : "(null)";
}


const char *getWanIfName();
// For PPPOE, L2TP and PPTP the interface of the session /etc/link reports
// (ppp0 when it reports none or names no plain interface).
const char *getWanIfNamePPP();
// That interface, whatever the connection type.
void pppSessionIf(char (&ifname)[IFNAMSIZ]);
// Whether `dev` is the PPP session's interface as the WAN device (its
// packets carry no Ethernet header at the qdisc).
bool isPppSession(const char *dev);
int initIF();
int initSpeed();
