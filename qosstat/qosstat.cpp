#include "qosstat.h"

#include "netlink.h"
#include "report.h"
#include "usage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <string_view>

namespace {

constexpr char kUsage[] =
    "usage: qosstat [--json] [DEVICE...]\n"
    "Shows the live QoS shaping trees (HTB) the way the kernel holds them: each\n"
    "class under its parent, what it is for (default class, application and\n"
    "direction, or user rule), rate and ceil in kbit/s, prio, and the counters\n"
    "bytes, packets, drops and overlimits (plus the current rate where the class\n"
    "has a rate estimator).\n"
    "Without DEVICE: every device whose root qdisc is HTB (the QoS program's\n"
    "trees: handle 1 WAN, 3 LAN, 5 wireless LAN). --json prints one JSON\n"
    "document instead of the table.\n"
    "Reads the kernel's traffic control state over rtnetlink; reads no file and\n"
    "changes nothing. Exit status 1 with one line on standard error when a device\n"
    "has no HTB tree or the kernel cannot be asked.\n";

constexpr int kMaxDevices = 16;
// A QoS tree holds at most 3 + 14 application + 8 user rule classes.
constexpr int kMaxClasses = 64;

struct Roots {
  TcRootQdisc list[kMaxDevices];
  int count;
};

struct Classes {
  TcClass list[kMaxClasses];
  int count;
  bool cut; // more classes than there is room for
};

void collectRoot(const nlmsghdr *msg, void *ctx)
{
  auto *roots = static_cast<Roots *>(ctx);
  TcRootQdisc root;
  if (decodeRootQdisc(msg, &root) && root.htb && roots->count < kMaxDevices)
    roots->list[roots->count++] = root;
}

void collectClass(const nlmsghdr *msg, void *ctx)
{
  auto *classes = static_cast<Classes *>(ctx);
  TcClass c;
  if (!decodeClass(msg, &c))
    return;
  if (classes->count < kMaxClasses)
    classes->list[classes->count++] = c;
  else
    classes->cut = true;
}

const TcRootQdisc *findRoot(const Roots &roots, int ifindex)
{
  for (int i = 0; i < roots.count; ++i)
    if (roots.list[i].ifindex == ifindex)
      return &roots.list[i];
  return nullptr;
}

int kernelFailed(int err)
{
  fprintf(stderr, "qosstat: cannot read the kernel's traffic control state: %s\n", strerror(err));
  return 1;
}

struct Shown {
  const TcRootQdisc *root;
  char name[IF_NAMESIZE];
};

// The devices to show, in the order asked for, or every HTB root. Returns the
// count, or -1 after the one line that says why not.
int pickDevices(const Roots &roots, char **names, int nameCount, Shown *shown)
{
  if (nameCount == 0) {
    int count = 0;
    for (int i = 0; i < roots.count; ++i) {
      if (if_indextoname(static_cast<unsigned>(roots.list[i].ifindex), shown[count].name) == nullptr)
        continue;
      shown[count++].root = &roots.list[i];
    }
    if (count == 0)
      fprintf(stderr, "qosstat: no device has an HTB shaping tree (QoS not built, or no HTB in this kernel)\n");
    return count == 0 ? -1 : count;
  }
  for (int i = 0; i < nameCount; ++i) {
    unsigned ifindex = if_nametoindex(names[i]);
    if (ifindex == 0) {
      fprintf(stderr, "qosstat: %s: no such device\n", names[i]);
      return -1;
    }
    shown[i].root = findRoot(roots, static_cast<int>(ifindex));
    if (shown[i].root == nullptr) {
      fprintf(stderr, "qosstat: %s: no HTB shaping tree on this device\n", names[i]);
      return -1;
    }
    snprintf(shown[i].name, sizeof shown[i].name, "%s", names[i]);
  }
  return nameCount;
}

} // namespace

int qosstat_main(int argc, char **argv)
{
  if (wants_help(argc, argv))
    return print_usage(kUsage);
  bool json = false;
  char *names[kMaxDevices];
  int nameCount = 0;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--json") {
      json = true;
    } else if (arg.empty() || arg[0] == '-' || nameCount == kMaxDevices) {
      fputs(kUsage, stderr);
      return 2;
    } else {
      names[nameCount++] = argv[i];
    }
  }

  // All on the stack (about 6 KiB): see the reply buffer in netlink.cpp.
  Roots roots{};
  if (int err = netlinkDump(RTM_GETQDISC, 0, collectRoot, &roots))
    return kernelFailed(err);
  Shown shown[kMaxDevices];
  int count = pickDevices(roots, names, nameCount, shown);
  Classes classes;
  if (count < 0)
    return 1;

  if (json)
    printJsonBegin(stdout);
  for (int i = 0; i < count; ++i) {
    classes.count = 0;
    classes.cut = false;
    if (int err = netlinkDump(RTM_GETTCLASS, shown[i].root->ifindex, collectClass, &classes))
      return kernelFailed(err);
    if (classes.cut)
      fprintf(stderr, "qosstat: %s: more than %d classes, the rest not shown\n", shown[i].name, kMaxClasses);
    DeviceTree tree{shown[i].name, shown[i].root->handle, classes.list, classes.count};
    if (json) {
      printTreeJson(stdout, tree, i == 0);
    } else {
      if (i > 0)
        putchar('\n');
      printTreeText(stdout, tree);
    }
  }
  if (json)
    printJsonEnd(stdout);
  return 0;
}
