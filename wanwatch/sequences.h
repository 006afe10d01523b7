// The connect and teardown sequences of the four WAN connection types, on the
// wired WAN port (gateway mode) or the wireless client link (WISP mode).
#pragma once

enum class Wan { Gateway, Wisp };

// The settings one tick reads before it acts.
struct TickSettings {
  const char *opMode;
  const char *connectionMode;
  const char *pptpMode; // "1" underlying address by DHCP, "0" static
  const char *l2tpMode;
  const char *radioOff; // read after the gateway-mode work
};

// "eth2.2" or "ra0".
const char *wanIfName(Wan wan);

void dhcpStart(Wan wan, const TickSettings &settings);
void pppoeConnect(Wan wan, const TickSettings &settings);
void pptpConnect(Wan wan, const TickSettings &settings);
void l2tpConnect(Wan wan, const TickSettings &settings);

void dhcpTeardown(Wan wan, const TickSettings &settings);
void pppoeTeardown(Wan wan, const TickSettings &settings);
void pptpTeardown(Wan wan, const TickSettings &settings);
void l2tpTeardown(Wan wan, const TickSettings &settings);

// LAN-gateway mode: the WAN gateway file holds lan_gateway.
void recordLanGateway();
