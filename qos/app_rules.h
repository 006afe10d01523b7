// The eleven predefined applications in their six priority categories: their
// table (category slots, directions, fixed ports), how an entry
// ("QoSAppRules%d") is read, and the leaf each direction gets.
#pragma once

#include "state.h"

struct ServiceSnapshots;

// Which way a direction's packets leave: towards the LAN they leave by BR_IF
// and are shaped in LAN_IF's tree (handle 3, DOWNLINK_SPEED); towards the WAN
// they leave by WAN_IF and are shaped in its tree (handle 1, UPLINK_SPEED).
enum class Side : unsigned char { Lan, Wan };

// The applications by index: entry "QoSAppRules%d", APP_NAME and APP_MARK.
enum App : unsigned char {
  kXboxlive,
  kPs,
  kZone,
  kBnet,
  kVoip,
  kIm,
  kHttp,
  kFtp,
  kEmule,
  kBittorrent,
  kEmail,
};

// The tables below hold no pointers: each pointer in a table costs a
// relocation as well.
struct AppDirection {
  Side side;
  unsigned char markOffset; // added to APP_MARK[app]
};

struct AppInfo {
  unsigned char categorySlot; // index into CATEGORY_PRIO
  unsigned char directionCount;
  AppDirection directions[4];
};

// Games have TCP and UDP directions of their own (UDP marks are 4 above the
// TCP ones); every other application has one direction each way. Email works
// as pop3 towards the LAN and as smtp towards the WAN, with marks 60 and 61.
inline constexpr AppInfo kApps[kAppCount] = {
    {0, 4, {{Side::Lan, 0}, {Side::Lan, 4}, {Side::Wan, 0}, {Side::Wan, 4}}}, // xboxlive
    {0, 4, {{Side::Lan, 0}, {Side::Lan, 4}, {Side::Wan, 0}, {Side::Wan, 4}}}, // ps
    {0, 4, {{Side::Lan, 0}, {Side::Lan, 4}, {Side::Wan, 0}, {Side::Wan, 4}}}, // zone
    {0, 2, {{Side::Lan, 0}, {Side::Wan, 0}}},                                 // bnet
    {1, 2, {{Side::Lan, 0}, {Side::Wan, 0}}},                                 // voip
    {2, 2, {{Side::Lan, 0}, {Side::Wan, 0}}},                                 // im
    {3, 2, {{Side::Lan, 0}, {Side::Wan, 0}}},                                 // http
    {4, 2, {{Side::Lan, 0}, {Side::Wan, 0}}},                                 // ftp
    {4, 2, {{Side::Lan, 0}, {Side::Wan, 0}}},                                 // emule
    {4, 2, {{Side::Lan, 0}, {Side::Wan, 0}}},                                 // bittorrent
    {5, 2, {{Side::Lan, 0}, {Side::Wan, 1}}},                                 // email
};

// The names email's two directions work under.
inline constexpr char kMailWorkName[2][5] = {"pop3", "smtp"};

// What comes before the port text of a fixed port rule.
enum class PortMatch : unsigned char { Sport, Dport, SportList, DportList, TcpSport, UdpSport, UdpDport };
inline constexpr char kPortMatchText[][21] = {
    "--sport", "--dport", "-m multiport --sport", "-m multiport --dport", "-m tcp --sport", "-m udp --sport",
    "-m udp --dport",
};

struct FixedPortRule {
  App app;
  unsigned char direction;
  char proto[4];
  PortMatch match;
  char ports[23];
};

// In the order each direction issues them. The WAN-side range rules of zone
// and bnet match source ports like their LAN-side twins, and bnet's range is
// 6113:9119 towards the WAN: the router has always classified that way.
inline constexpr FixedPortRule kFixedPortRules[] = {
    {kXboxlive, 0, "tcp", PortMatch::SportList, "3074,3390,3932,5555"},
    {kXboxlive, 1, "udp", PortMatch::SportList, "88,1900,3074,3776,3777"},
    {kXboxlive, 2, "tcp", PortMatch::DportList, "3074,3390,3932,5555"},
    {kXboxlive, 3, "udp", PortMatch::DportList, "88,1900,3074,3776,3777"},
    {kPs, 0, "tcp", PortMatch::Sport, "5223"},
    {kPs, 1, "udp", PortMatch::SportList, "3478,3479,3658,4658"},
    {kPs, 2, "tcp", PortMatch::Dport, "5223"},
    {kPs, 3, "udp", PortMatch::DportList, "3478,3479,3658,4658"},
    {kZone, 0, "tcp", PortMatch::Sport, "6667"},
    {kZone, 0, "tcp", PortMatch::TcpSport, "28800:29000"},
    {kZone, 1, "udp", PortMatch::SportList, "6667"},
    {kZone, 1, "udp", PortMatch::UdpSport, "28800:29000"},
    {kZone, 2, "tcp", PortMatch::Dport, "6667"},
    {kZone, 2, "tcp", PortMatch::TcpSport, "28800:29000"},
    {kZone, 3, "udp", PortMatch::DportList, "6667"},
    {kZone, 3, "udp", PortMatch::UdpDport, "28800:29000"},
    {kBnet, 0, "tcp", PortMatch::SportList, "40,112,3724,6112,4000"},
    {kBnet, 0, "tcp", PortMatch::TcpSport, "6113:6119"},
    {kBnet, 1, "tcp", PortMatch::DportList, "40,112,3724,6112,4000"},
    {kBnet, 1, "tcp", PortMatch::TcpSport, "6113:9119"},
    {kHttp, 0, "tcp", PortMatch::SportList, "80,443"},
    {kHttp, 1, "tcp", PortMatch::DportList, "80,443"},
    {kEmail, 0, "tcp", PortMatch::Sport, "110"}, // pop3: mail fetched from a server on the WAN
    {kEmail, 1, "tcp", PortMatch::Dport, "25"},  // smtp: mail sent to a server on the WAN
};

// An application entry ("QoSAppRules%d"). A direction's settings: the rate
// value field exists only for rate kinds 0 (the value is a ceiling) and 1 (a
// guaranteed rate).
struct DirectionSetting {
  int enable = 0;
  int kind = 0;
  int value = 0; // after rate_check; 0 when the kind has no value field
};

struct AppEntry {
  int level = 0;  // category priority level, field 0
  int enable = 0; // field 1
  DirectionSetting directions[4];
};

// Reads entry text field by field: level, enable, then `directionCount`
// directions through the field cursor (from field 2, three fields for a
// direction of rate kind 0 or 1, two for any other kind).
void readAppEntry(const char *text, int directionCount, AppEntry &entry);

// Class, queue and filter parameters of one application leaf.
struct LeafParams {
  int rate;
  int ceil;
  int classPrio;
  int filterPrio;
};

// The leaf for a direction shaped at link speed `speed` in an application of
// priority `level`. A direction that is off, or whose rate kind carries no
// value, gets the plain leaf: 10 kbit, the link speed as ceiling, prio 4.
LeafParams appLeaf(const DirectionSetting &dir, int level, int speed);

// Builds the rules and leaves of every enabled application; service port
// chains read their files in `portDir` and leave what they saw in `seen`.
int startSetAppRule(const char *portDir, ServiceSnapshots &seen);
