// The one kernel request qosstat makes: an rtnetlink dump, read-only.
#pragma once

#include <linux/netlink.h>

using DumpVisitor = void (*)(const nlmsghdr *msg, void *ctx);

// Sends one dump request of type (RTM_GETQDISC: every device's qdiscs;
// RTM_GETTCLASS: the classes of device ifindex) and hands each message of the
// answer to visit. Returns 0, or the errno value that stopped it.
int netlinkDump(int type, int ifindex, DumpVisitor visit, void *ctx);
