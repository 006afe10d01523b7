// The user's own rules: one POSTROUTING marking pair and one leaf each. The
// pairs are appended behind the default and application rules, so a packet
// that an earlier rule returned keeps its mark, and among overlapping user
// rules the lowest-numbered one wins.
#include "build.h"

#include "cmd.h"
#include "state.h"
#include "user_rule_record.h"

#include "nvram.h"

#include <cstdio>

namespace {

constexpr int kUserRuleCount = 8;
constexpr int kWanMarkBase = 70;
constexpr int kLanMarkBase = 80;
// User ceilings are compared with this fixed bound, not with the link speed:
// a ceiling between the link speed and the bound reaches tc unchanged.
constexpr int kCeilingBound = 51200;

struct Leaf {
  const char *dev; // tree device
  int handle;
  int speed; // link speed of the tree, kbit/s
  int mark;
  int classPrio;
  int filterPrio;
};

void markingPair(const char *out, const UserRuleMatch &m, int mark)
{
  // Without a device to name after "-o" the pair could match nothing.
  if (out == nullptr)
    return;
  vx_doCmd("iptables -t mangle -A POSTROUTING -o %s %s %s %s %s %s -j MARK --set-mark %d", out, m.protocol, m.srcPorts,
           m.dstPorts, m.srcRange, m.dstRange, mark);
  vx_doCmd("iptables -t mangle -A POSTROUTING -o %s %s %s %s %s %s -j RETURN", out, m.protocol, m.srcPorts, m.dstPorts,
           m.srcRange, m.dstRange);
}

void leafClass(const Leaf &leaf, const UserRule &rule)
{
  if (rule.kind == 1) {
    // A guaranteed rate is never capped.
    vx_doCmd("tc class add dev %s parent %d:1 classid %d:%d htb rate %dkbit ceil %dkbit prio %d", leaf.dev, leaf.handle,
             leaf.handle, leaf.mark, rule.bandwidth, leaf.speed, leaf.classPrio);
  } else {
    int ceil = rule.bandwidth <= kCeilingBound ? rule.bandwidth : leaf.speed;
    vx_doCmd("tc class add dev %s parent %d:1 classid %d:%d htb rate 10kbit ceil %dkbit prio %d", leaf.dev, leaf.handle,
             leaf.handle, leaf.mark, ceil, leaf.classPrio);
  }
}

void towardsWan(int n, const UserRule &rule, const UserRuleMatch &match, int level)
{
  printf("%sTo WAN \n", kVxTag);
  const Leaf leaf{WAN_IF, 1, UPLINK_SPEED, n + kWanMarkBase, CLASS_PRIO[level], FILTER_PRIO[level]};
  markingPair(WAN_IF, match, leaf.mark);
  if (leaf.dev == nullptr)
    return;
  leafClass(leaf, rule);
  vx_doCmd("tc qdisc  add dev %s parent %d:%d handle 1%d: sfq perturb 10", leaf.dev, leaf.handle, leaf.mark,
           leaf.mark);
  vx_doCmd("tc filter add dev %s parent %d:0 protocol ip prio %d handle %d fw classid %d:%d", leaf.dev, leaf.handle,
           leaf.filterPrio, leaf.mark, leaf.handle, leaf.mark);
}

void towardsLan(int n, const UserRule &rule, const UserRuleMatch &match, int level)
{
  printf("%sTo LAN \n", kVxTag);
  const Leaf leaf{LAN_IF, 3, DOWNLINK_SPEED, n + kLanMarkBase, CLASS_PRIO[level], FILTER_PRIO[level]};
  markingPair(BR_IF, match, leaf.mark);
  if (leaf.dev != nullptr) {
    leafClass(leaf, rule);
    vx_doCmd("tc qdisc add dev %s parent %d:%d handle 1%d: sfq perturb 10", leaf.dev, leaf.handle, leaf.mark,
             leaf.mark);
    vx_doCmd("tc filter  add dev %s parent %d:0 protocol ip prio %d handle %d fw classid %d:%d", leaf.dev, leaf.handle,
             leaf.filterPrio, leaf.mark, leaf.handle, leaf.mark);
  }
  // The wireless tree gets a plain low-priority leaf for the same mark: the
  // LAN marking pair on the bridge marks the wireless hosts' traffic too.
  if (WLAN_IF != nullptr) {
    vx_doCmd("tc class  add dev %s parent %d:1 classid %d:%d htb rate 10kbit ceil %dkbit prio %d", WLAN_IF, 5, 5,
             leaf.mark, DOWNLINK_SPEED, 4);
    vx_doCmd("tc qdisc  add dev %s parent %d:%d handle 1%d: sfq perturb 10", WLAN_IF, 5, leaf.mark, leaf.mark);
    vx_doCmd("tc filter add dev %s parent %d:0 protocol ip prio %d handle %d fw classid %d:%d", WLAN_IF, 5, 4,
             leaf.mark, 5, leaf.mark);
  }
}

// A category level the tables do not know takes the lowest priority.
int levelOf(int category)
{
  int level = CATEGORY_PRIO[category];
  return level >= 0 && level <= 2 ? level : 2;
}

void setUserRule(int n, const char *record)
{
  UserRule rule;
  UserRuleProblem problem;
  UserRuleRead read = readUserRule(record, rule, problem);
  if (read == UserRuleRead::Disabled)
    return;
  printf("%suser rule %d enabled!!\n", kVxTag, n);
  switch (read) {
  case UserRuleRead::Incomplete:
    printf("%suser rule %d skipped: record ends before field %d\n", kVxTag, n, problem.field);
    return;
  case UserRuleRead::Invalid:
    printf("%suser rule %d skipped: field %d is not %s\n", kVxTag, n, problem.field, problem.expected);
    return;
  case UserRuleRead::OtherDirection:
  case UserRuleRead::Disabled:
    return;
  case UserRuleRead::Ready:
    break;
  }
  if (!hasSelector(rule))
    return;
  UserRuleMatch match;
  buildUserRuleMatch(rule, match);
  const int level = levelOf(rule.category);
  if (rule.direction == 1)
    towardsWan(n, rule, match, level);
  else
    towardsLan(n, rule, match, level);
}

} // namespace

void rate_check(int &rate)
{
  if (rate < 10)
    rate = 10;
}

int startSetUserRule()
{
  for (int n = 0; n < kUserRuleCount; ++n) {
    char key[16];
    snprintf(key, sizeof key, "QoSUserRules%d", n);
    setUserRule(n, nvram_bufget(0, key));
  }
  printf("%s###Setting USER RULE end...\n", kVxTag);
  return 0;
}
