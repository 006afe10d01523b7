#include "qosstat.h"

#include "netlink.h"
#include "report.h"
#include "usage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/rtnetlink.h>
#include <net/if.h>

namespace {

constexpr char kUsage[] =
    "usage: qosstat [--json] [DEVICE...]\n"
    "Shows the live QoS shaping trees (HTB) as the kernel holds them: each class\n"
    "under its parent, what it is for (default class, application and direction,\n"
    "or user rule), rate and ceil in kbit/s, prio, and the counters bytes,\n"
    "packets, drops and overlimits (and the current rate with a rate estimator).\n"
    "Without DEVICE: every device whose root qdisc is HTB (trees 1 WAN, 3 LAN,\n"
    "5 wireless LAN). --json prints one JSON document instead of the table.\n"
    "Reads the kernel's state over rtnetlink; changes nothing. Exit status 1 with\n"
    "one line on standard error when a device has no HTB tree or the kernel\n"
    "cannot be asked.\n";

constexpr int kMaxDevices = 16;
// A QoS tree holds at most 3 + 14 application + 8 user rule classes.
constexpr int kMaxClasses = 64;

struct Roots {
  TcRootQdisc list[kMaxDevices];
  int count;
  bool cut; // more HTB roots than there is room for
  // The devices asked for by name, or none for every device.
  const unsigned *wanted;
  int wantedCount;
};

struct Classes {
  TcClass list[kMaxClasses];
  int count;
  bool cut; // more classes than there is room for
};

bool isWanted(const Roots &roots, int ifindex)
{
  for (int i = 0; i < roots.wantedCount; ++i)
    if (static_cast<int>(roots.wanted[i]) == ifindex)
      return true;
  return roots.wantedCount == 0;
}

void collectRoot(const nlmsghdr *msg, void *ctx)
{
  auto *roots = static_cast<Roots *>(ctx);
  TcRootQdisc root;
  if (msg == nullptr) {
    roots->count = 0;
    roots->cut = false;
  } else if (decodeRootQdisc(msg, &root) && root.htb && isWanted(*roots, root.ifindex)) {
    if (roots->count < kMaxDevices)
      roots->list[roots->count++] = root;
    else
      roots->cut = true;
  }
}

void collectClass(const nlmsghdr *msg, void *ctx)
{
  auto *classes = static_cast<Classes *>(ctx);
  TcClass c;
  if (msg == nullptr) {
    classes->count = 0;
    classes->cut = false;
  } else if (decodeClass(msg, &c)) {
    if (classes->count < kMaxClasses)
      classes->list[classes->count++] = c;
    else
      classes->cut = true;
  }
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
  int count = 0;
  int total = nameCount > 0 ? nameCount : roots.count;
  for (int i = 0; i < total; ++i) {
    const TcRootQdisc *root = nameCount > 0 ? findRoot(roots, static_cast<int>(roots.wanted[i])) : &roots.list[i];
    if (root == nullptr) {
      fprintf(stderr, "qosstat: %s: no HTB shaping tree on this device\n", names[i]);
      return -1;
    }
    // A device gone since the dump is left out.
    if (if_indextoname(static_cast<unsigned>(root->ifindex), shown[count].name) != nullptr)
      shown[count++].root = root;
  }
  if (count == 0)
    fprintf(stderr, "qosstat: no device has an HTB shaping tree (QoS not built, or no HTB in this kernel)\n");
  return count == 0 ? -1 : count;
}

int showTrees(int argc, char **argv)
{
  if (wants_help(argc, argv))
    return print_usage(kUsage);
  bool json = false;
  char *names[kMaxDevices];
  unsigned wanted[kMaxDevices];
  int nameCount = 0;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (argv[i][0] == '\0' || argv[i][0] == '-' || nameCount == kMaxDevices) {
      fputs(kUsage, stderr);
      return 2;
    } else {
      names[nameCount++] = argv[i];
    }
  }
  for (int i = 0; i < nameCount; ++i) {
    wanted[i] = if_nametoindex(names[i]);
    if (wanted[i] == 0) {
      fprintf(stderr, "qosstat: %s: no such device\n", names[i]);
      return 1;
    }
  }

  // All on the stack (about 6 KiB): see the reply buffer in netlink.cpp.
  Roots roots{};
  roots.wanted = wanted;
  roots.wantedCount = nameCount;
  if (int err = netlinkDump(RTM_GETQDISC, 0, collectRoot, &roots))
    return kernelFailed(err);
  if (roots.cut)
    fprintf(stderr, "qosstat: more than %d devices with an HTB tree, the rest not shown\n", kMaxDevices);
  Shown shown[kMaxDevices];
  int count = pickDevices(roots, names, nameCount, shown);
  Classes classes;
  if (count < 0)
    return 1;

  if (json)
    printJsonBegin(stdout);
  for (int i = 0; i < count; ++i) {
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

} // namespace

int qosstat_main(int argc, char **argv)
{
  int status = showTrees(argc, argv);
  if (fflush(stdout) != 0 || ferror(stdout)) {
    fputs("qosstat: cannot write to standard output\n", stderr);
    return status != 0 ? status : 1;
  }
  return status;
}
