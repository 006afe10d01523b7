// One tick of the link watcher: probe the uplink of the operation mode,
// compare with the previous tick and run the sequence of the change.
#pragma once

#include "probes.h"

// Link status of the previous tick (1 up, 0 down).
extern int lastStatus;
// Steady-up ticks without a PPP session, shared by the PPPoE and PPTP redial.
extern int pcount;
// The access point for which the WISP-mode DHCP client was last started.
extern char current_wisp_essid[kApAddressSize];

// Where a tick learns the state of the link: the router's probes, or a test's.
struct LinkProbes {
  int (*wanPort)(); // gateway mode
  int (*wisp)();    // WISP mode; sets new_wisp_essid when associated
  int (*ppp)();     // PPP session up
};

extern const LinkProbes kRouterLink;

void runTick(const LinkProbes &link);

// The timer's work: one tick on the router's probes.
void check_link_handler(int signo);

// Back to the values at start (before seeding).
void resetTickState();
