// One tick of the link watcher: probe the uplink of the operation mode,
// compare with the previous tick and run the sequence of the change.
#pragma once

#include "probes.h"

// Link status of the previous tick (1 up, 0 down).
extern int lastStatus;

// The timer's work: one tick on the router's probes.
void check_link_handler(int signo);
