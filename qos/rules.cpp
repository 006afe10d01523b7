#include "rules.h"

#include "apply.h"
#include "state.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

bool wants(Family family, Family one)
{
  return (static_cast<unsigned>(family) & static_cast<unsigned>(one)) != 0;
}

int issueOne(const Rule &rule, bool ipv6, const char *target)
{
  const char *protocol = rule.protocol;
  if (ipv6 && protocol != nullptr && strcmp(protocol, "icmp") == 0)
    protocol = "icmpv6"; // ip6tables takes "icmp" and never matches it
  return vx_doCmd("%s %s%s%s%s%s%s", ipv6 ? "ip6tables" : "iptables", rule.head, protocol != nullptr ? "-p " : "",
                  protocol != nullptr ? protocol : "", rule.matches, target != nullptr ? " -j " : "",
                  target != nullptr ? target : "");
}

// The lines of the families asked, IPv6's only where `ipv6` allows it.
int issueFor(const Rule &rule, bool ipv6, const char *target)
{
  const int rc = wants(rule.family, Family::Ipv4) ? issueOne(rule, false, target) : 0;
  if (ipv6 && wants(rule.family, Family::Ipv6))
    issueOne(rule, true, target);
  return rc;
}

} // namespace

int issueRule(const Rule &rule, const char *target)
{
  return issueFor(rule, ipv6Mode() == Ipv6Mode::On, target);
}

void markPair(const Rule &rule, int mark)
{
  char target[32];
  snprintf(target, sizeof target, "MARK --set-mark %d", mark);
  issueRule(rule, target);
  issueRule(rule, "RETURN");
}

void resetMangle()
{
  const bool ipv6 = ipv6Mode() != Ipv6Mode::Off;
  const char *const heads[] = {"-F -t mangle", "-X -t mangle", "-Z -t mangle"};
  for (const char *head : heads) {
    issueFor({Family::Ipv4, head}, false, nullptr);
    if (!ipv6)
      continue;
    if (head == heads[0])
      watchNextLine();
    issueFor({Family::Ipv6, head}, true, nullptr);
  }
}

int fwFilter(const char *dev, int tree, int prio, int mark, const char *gap, const char *gap2)
{
  auto filter = [&](const char *protocol, int at) {
    return vx_doCmd("tc filter%sadd dev %s parent %d:0 protocol %s prio %d%shandle %d fw classid %d:%d", gap, dev, tree,
                    protocol, at, gap2, mark, tree, mark);
  };
  const int rc = filter("ip", prio);
  if (ipv6Mode() == Ipv6Mode::On)
    filter("ipv6", 10 + prio);
  return rc;
}

void settleIpv6Marker(const char *marker)
{
  if (watchedLineOk())
    unlink(marker);
  else
    printf("%sIPv6 mangle table not flushed: %s kept for the next run\n", kVxTag, marker);
}
