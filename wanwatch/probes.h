// The link watcher's probes: the wired WAN port, the wireless client link,
// the PPP session and an interface's address. Every failure reads as 0.
#pragma once

#include <cstddef>
#include <sys/types.h>

struct ifreq;

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
// 1 while the router's PPP scripts report a session in /etc/link and its
// interface ppp0 exists, else 0.
int isConnectPPP();
// The interface's IPv4 address as dotted text into ip (size bytes, at least
// 16): 0, or -1 with ip untouched.
int getIfIp(const char *ifname, char *ip, size_t size);
// The kernel's answer to an address request naming an interface: 0 with the
// address filled in, or -1. Tests hand in their own; nullptr restores the
// kernel's (SIOCGIFADDR).
using IfAddrSource = int (*)(ifreq *request);
void set_ifaddr_source(IfAddrSource source);
// The timer's work in the restart-script configuration.
int restart_pptp_l2tp(int signo);

// The halves of the probes that touch a file, on the path given, and the
// parsers of the files' text in memory. A file that is no regular file counts
// as missing.
// Writes the port number to the switch driver's control file; only a file that
// does not open is reported.
void selectGmacPort(const char *path, int port);
// The PHY report (at most 128 bytes): a link-down register reads "0000".
int readPortReport(const char *path);
// len bytes of the report, or -1 when it did not open; prints the reason
// when the report is unusable.
int portReportLink(const char *report, ssize_t len);
// The word after "Access Point: ": an address of 17 characters means associated.
int readAccessPoint(const char *path);
// The report's first 127 bytes (up to a NUL) hold the word.
int accessPointIn(const char *text, size_t len);
// The PPP state file: '1' as first byte means a session is up.
int readPppState(const char *path);
int pppStateIn(const char *text, size_t len);
