// The five services whose ports come from port-mapping files, each with a
// service port chain of its own in the mangle table, jumped to from FORWARD.
#pragma once

#include "port_mapping.h"

struct FixedPort {
  const char *proto;
  int port;
};

struct Service {
  const char *name;
  int type; // application index, entry "QoSAppRules%d" and modify code
  const char *chain;
  int mark;
  const char *label; // which component writes the file
  FixedPort fixedPorts[2];
  int fixedCount;
};

inline constexpr int kServiceCount = 5;

// In the order the end-of-build check visits them.
inline constexpr Service kServices[kServiceCount] = {
    {"bittorrent", 9, "qos_bt_chain", 56, "UPnP", {}, 0},
    {"emule", 8, "qos_emule_chain", 52, "UPnP", {}, 0},
    {"im", 5, "qos_im_chain", 40, "UPnP", {{"tcp", 1863}, {"tcp", 5050}}, 2},
    {"ftp", 7, "qos_ftp_chain", 48, "ALG", {}, 0},
    {"voip", 4, "qos_voip_chain", 36, "ALG", {{"tcp", 5060}, {"udp", 5060}}, 2},
};

// What a build saw of each port-mapping file, by index in kServices: the
// first read of the file by its application, for the end-of-build check.
struct ServiceSnapshots {
  ServiceSnapshot of[kServiceCount];
  bool taken[kServiceCount];
};

// nullptr for a name or code that is not one of the five.
const Service *serviceByName(const char *name);
const Service *serviceByType(int type);

// Where the router's port-mapping files live.
inline constexpr char kPortMappingDir[] = "/var";

// The chain of a service and its jump from FORWARD; the flush of a chain.
void iptableCreateChain(const char *chain);
int iptableCreateFulsh(const char *chain);

// Adds the service's rules for one direction, from its fixed ports and its
// file in `dir`; `seen` receives the file's text. -1 (nothing seen) when the
// service is unknown, the direction's device absent or the file missing.
int doServiceChain(const char *dir, const char *name, int direction, int mark, ServiceSnapshot &seen);
// Flushes and refills the chain of service `type` (a modify request).
int doChangeServiceChain(const char *dir, int type);
// Refills the chain of every service whose file now differs from what the
// build saw.
int doCheckService(const char *dir, const ServiceSnapshots &built);
