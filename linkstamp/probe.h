// The WAN port probe: register 5 of the port's PHY (link partner ability),
// read with mii_mgr. The register reads 0000 while no partner is present.
#pragma once

#include <sys/types.h>

// Where the shell leaves mii_mgr's output; read, never removed.
constexpr const char *kPortReport = "/tmp/WANstatus1";

// The link state a report gives: len is the number of bytes read, or -1 when
// the report did not open. Prints the reason when the report is unusable.
int linkFromReport(const char *report, ssize_t len);

// 1 when the port's link is up, 0 when it is down or could not be read.
int getPortLinkStatus(int port);
int getWANPortLinkStatus();
