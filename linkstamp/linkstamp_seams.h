// The link stamper's entry points for tests: the readers of its command line,
// of the port report and of /var/wan_link. The program itself goes through
// probe.h and stamps.h.
#pragma once

#include <sys/types.h>

// The link state a report gives: len is the number of bytes read, or -1 when
// the report did not open. Prints the reason when the report is unusable.
int linkFromReport(const char *report, ssize_t len);

// What the router's scripts ask for: "0" stamps all three files, "1" refreshes
// the WAN file when the link changed; anything else writes nothing.
enum class StampMode { None, AllLinks, WanOnly };
StampMode stampModeFromArgs(int argc, char **argv);

// The WAN state a /var/wan_link text records: 1 when it starts with a number
// other than 0 (leading blanks and a sign allowed), else 0.
int wanWasUp(const char *text);
