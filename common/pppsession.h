// The PPP session report that the router's ip-up and ip-down scripts keep:
// "1 IFACE" (a bare "1" from older scripts) while a session is up on IFACE,
// anything else ("0") while none is.
#pragma once

#include <net/if.h>

inline constexpr char kPppReport[] = "/etc/link";

// A report's text (up to its NUL): true when it says a session is up ('1'
// first) on a plain interface name, the word after "1 ", or on ppp0 when it
// names none. The name goes into command lines as it stands: at most 15
// letters, digits, '.', '-' and '_', not '-' first. ifname receives the name,
// or ppp0 whenever the answer is false.
bool ppp_session_in(const char *text, char (&ifname)[IFNAMSIZ]);
// The same for the report at path; a missing one says no session.
bool ppp_session_at(const char *path, char (&ifname)[IFNAMSIZ]);
