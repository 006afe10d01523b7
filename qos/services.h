// The five services whose ports come from port-mapping files, each with a
// service port chain of its own in the mangle table, jumped to from FORWARD.
#pragma once

#include "port_mapping.h"

// What the build saw of each port-mapping file, for the end-of-build check.
extern ServiceSnapshot BT_STR, EMULE_STR, IM_STR, FTP_STR, VOIP_STR;
// Set once a service's snapshot is taken; cleared for each enabled
// application, so each application takes its snapshot from its first read.
extern int write_to_str;

struct FixedPort {
  const char *proto;
  int port;
};

struct Service {
  const char *name;
  int type; // application index, entry "QoSAppRules%d" and modify code
  const char *chain;
  int mark;
  ServiceSnapshot *snapshot;
  const char *label; // which component writes the file
  FixedPort fixedPorts[2];
  int fixedCount;
};

inline constexpr int kServiceCount = 5;

// In the order the end-of-build check visits them.
inline constexpr Service kServices[kServiceCount] = {
    {"bittorrent", 9, "qos_bt_chain", 56, &BT_STR, "UPnP", {}, 0},
    {"emule", 8, "qos_emule_chain", 52, &EMULE_STR, "UPnP", {}, 0},
    {"im", 5, "qos_im_chain", 40, &IM_STR, "UPnP", {{"tcp", 1863}, {"tcp", 5050}}, 2},
    {"ftp", 7, "qos_ftp_chain", 48, &FTP_STR, "ALG", {}, 0},
    {"voip", 4, "qos_voip_chain", 36, &VOIP_STR, "ALG", {{"tcp", 5060}, {"udp", 5060}}, 2},
};

// nullptr for a name or code that is not one of the five.
const Service *serviceByName(const char *name);
const Service *serviceByType(int type);

// Where the port-mapping files live.
inline constexpr char kPortMappingDir[] = "/var";

// The service operations with the files' directory as a parameter; the
// program always passes kPortMappingDir.
int serviceChainIn(const char *dir, const char *name, int direction, int mark);
int changeServiceChainIn(const char *dir, int type);
int checkServicesIn(const char *dir);

// Empties every snapshot and clears write_to_str (for tests that run several builds).
void resetServiceSnapshots();
