// The processes of this pid namespace by name, as killall finds them: the
// command name the kernel keeps for each (at most 15 characters).
#pragma once

// Sends sig to every live process named name, other than the caller; sig 0
// sends nothing. Returns how many there are. A zombie has already let go of
// what it held (a PPP unit, a pid file) and does not count.
int signal_named(const char *name, int sig);
