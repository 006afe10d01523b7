// The host's MAC from the kernel's ARP table, after a ping has made the
// kernel resolve it.
#pragma once

#include "mac_text.h"

#include <cstddef>

inline constexpr const char *kArpTable = "/proc/net/arp";

// Pings the dotted address once, waiting at most one second for the reply,
// then fills mac (a cleared buffer of at least kMacTextSize bytes) with its
// MAC text from the kernel's ARP table, or leaves it empty. Returns 0.
int get_mac_from_arptable(const char *address, char *mac);
