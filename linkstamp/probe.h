// The WAN port probe: register 5 of the port's PHY (link partner ability),
// read with mii_mgr. The register reads 0000 while no partner is present.
#pragma once

// Where the shell leaves mii_mgr's output; read, never removed.
constexpr const char *kPortReport = "/tmp/WANstatus1";

// 1 when the port's link is up, 0 when it is down or could not be read.
int getPortLinkStatus(int port);
int getWANPortLinkStatus();
