// Hosts the LLTD component already knows: "/var/lltd_mac", one MAC text at the
// start of each line.
#pragma once

inline constexpr const char *kKnownHostsFile = "/var/lltd_mac";

// 1 when a line of the file begins with the MAC text, else 0 (also when the
// file does not open or is no regular file). Prints the tagged "Find mac at
// lltd table" on a match.
int checkmac_lltd(const char *mac);
