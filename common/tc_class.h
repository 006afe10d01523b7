// What the kernel reports about one HTB class, and about a device's root
// qdisc, once decoded from its rtnetlink message.
#pragma once

#include <cstdint>
#include <linux/netlink.h>

struct TcClass {
  uint32_t id;     // major:minor, as tc writes it in hex (1:70 is 0x10070)
  uint32_t parent;
  uint64_t rate;   // bytes per second
  uint64_t ceil;   // bytes per second
  uint32_t prio;
  uint64_t bytes;
  uint64_t packets;
  uint64_t drops;
  uint64_t overlimits;
  bool hasRateNow; // only when the class has a rate estimator
  uint64_t rateNow; // bytes per second
  uint64_t packetsNow; // packets per second
};

struct TcRootQdisc {
  int ifindex;
  uint32_t handle;
  bool htb;
};

// A class message of the HTB kind: fills *out and returns true. Anything else
// (another message type, another kind, a message cut short) returns false.
bool decodeClass(const nlmsghdr *msg, TcClass *out);

// A qdisc message for a device's root: fills *out and returns true. Qdiscs
// below the root, and other messages, return false.
bool decodeRootQdisc(const nlmsghdr *msg, TcRootQdisc *out);
