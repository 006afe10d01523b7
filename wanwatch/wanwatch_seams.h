// The link watcher's entry points for tests: the probes' halves on a path of
// the test's and on text in memory, the source of interface addresses, and a
// tick on probes of the test's. The watcher itself goes through probes.h and
// tick.h.
#pragma once

#include "probes.h"

#include <cstddef>
#include <net/if.h>
#include <sys/types.h>

struct ifreq;

// The kernel's answer to an address request naming an interface: 0 with the
// address filled in, or -1. nullptr restores the kernel's (SIOCGIFADDR).
using IfAddrSource = int (*)(ifreq *request);
void set_ifaddr_source(IfAddrSource source);

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
// Where the PPP session report is read and reset; nullptr restores /etc/link.
void set_ppp_report(const char *path);

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

void runTick(const LinkProbes &link);

// The router's processes, for the restarts that wait for an old daemon: the
// process table and real time, or a test's.
struct ProcessTable {
  // Sends sig (0: none) to every live process of that name; how many there are.
  int (*signalNamed)(const char *name, int sig);
  void (*pause)(unsigned ms);
};
// nullptr restores the process table.
void set_process_table(const ProcessTable *table);

// Back to the values at start (before seeding).
void resetTickState();
