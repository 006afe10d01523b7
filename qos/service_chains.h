// The five services whose ports come from port-mapping files, each with a
// service port chain of its own in the mangle table, jumped to from FORWARD.
#pragma once

#include "port_mapping.h"

// The texts are held in place, not as pointers: each pointer in a table
// costs a relocation as well.
struct FixedPort {
  char proto[4];
  unsigned short port;
};

struct Service {
  char name[11];
  char chain[16];
  char label[5];      // which component writes the file
  unsigned char type; // application index, entry "QoSAppRules%d" and modify code
  unsigned char mark;
  unsigned char fixedCount;
  FixedPort fixedPorts[2];
};

inline constexpr int kServiceCount = 5;

// In the order the end-of-build check visits them.
inline constexpr Service kServices[kServiceCount] = {
    {"bittorrent", "qos_bt_chain", "UPnP", 9, 56, 0, {}},
    {"emule", "qos_emule_chain", "UPnP", 8, 52, 0, {}},
    {"im", "qos_im_chain", "UPnP", 5, 40, 2, {{"tcp", 1863}, {"tcp", 5050}}},
    {"ftp", "qos_ftp_chain", "ALG", 7, 48, 0, {}},
    {"voip", "qos_voip_chain", "ALG", 4, 36, 2, {{"tcp", 5060}, {"udp", 5060}}},
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
