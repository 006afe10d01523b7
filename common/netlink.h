// The kernel requests that read the shaping trees: an rtnetlink dump,
// read-only.
#pragma once

#include <linux/netlink.h>

// Called with nullptr before each attempt (what an earlier one brought is to
// be forgotten), then with each message of the answer.
using DumpVisitor = void (*)(const nlmsghdr *msg, void *ctx);

// Sends one dump request of type (RTM_GETQDISC: every device's qdiscs;
// RTM_GETTCLASS: the classes of device ifindex) and hands each message of the
// answer to visit. Only messages from the kernel answering this request
// count. A dump the kernel ends with an error, or that changed while it was
// read, is asked for once more. Returns 0, or the errno value that stopped it
// (EAGAIN for a dump that changed both times).
int netlinkDump(int type, int ifindex, DumpVisitor visit, void *ctx);
