// The link watcher's probes: the wired WAN port, the wireless client link,
// the PPP session and an interface's address. Every failure reads as 0.
#pragma once

#include <cstddef>
#include <net/if.h>

// An access point address as text ("00:11:22:33:44:55") and its terminator.
constexpr size_t kApAddressSize = 18;

// The access point of the latest successful wireless probe.
extern char new_wisp_essid[kApAddressSize];

// 1 when the switch port's PHY has a link partner, else 0.
int getPortLinkStatus(int port);
// The WAN port is switch port 4.
int getWANPortLinkStatus();
// 1 when ra0 is associated with an access point (new_wisp_essid then holds
// its address), else 0.
int getWISPLinkStatus();
// 1 while the router's PPP scripts report a session in /etc/link ("1", or
// "1 IFACE") and its interface (IFACE, or ppp0) exists, else 0.
int isConnectPPP();
// The interface of the session /etc/link reports, or ppp0 when it reports
// none or names no plain interface.
void pppSessionIf(char (&ifname)[IFNAMSIZ]);
// /etc/link replaced whole by "0\n": no session, until a new ip-up says so.
void forgetPppSession();
// The interface's IPv4 address as dotted text into ip (size bytes, at least
// 16): 0, or -1 with ip untouched.
int getIfIp(const char *ifname, char *ip, size_t size);
// The timer's work in the restart-script configuration.
int restart_pptp_l2tp(int signo);

