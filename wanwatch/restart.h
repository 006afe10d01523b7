// Restarts that wait: a daemon stopped by killall is gone before its
// successor starts. killall only sends the signal; an old udhcpc could still
// delete the new one's pid file, and a pppd still terminating holds unit 0,
// so that the new one would take ppp1.
#pragma once

// After the killall of name: waits up to 2 s for every process of that name
// to exit, then sends SIGKILL and waits up to 1 s more.
void awaitExit(const char *name);

// After a teardown's killall of name: waits up to 2 s for every process of
// that name to exit, and no more (a pppd still saying goodbye on a dead link
// is left to finish).
void awaitGone(const char *name);
