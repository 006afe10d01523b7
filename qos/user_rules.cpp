// The user's own rules: one POSTROUTING marking pair and one leaf each. The
// pairs are appended behind the default and application rules, so a packet
// that an earlier rule returned keeps its mark, and among overlapping user
// rules the lowest-numbered one wins.
#include "user_rules.h"

#include "apply.h"
#include "fields.h"
#include "rules.h"
#include "state.h"
#include "trees.h"

#include "nvram.h"
#include "textnum.h"
#include "validate.h"

#include <cstdio>
#include <cstring>

namespace {

// Characters kept of each selector field.
constexpr int kSelectorRoom[kUserSelectorCount] = {19, 19, 7, 7, 19, 19, 7, 7};

bool isAddress(int which)
{
  return which == DstFirst || which == DstLast || which == SrcFirst || which == SrcLast;
}

enum class Field { Missing, TooLong, Read };

// Reads field `index` into text, which holds `room` characters. A longer
// field is not cut: cut, "0000006" would read as 0 and another value.
template <size_t N> Field textField(const char *record, int index, int room, char (&text)[N])
{
  static_assert(N >= 2);
  char whole[N + 1] = {};
  const size_t keep = static_cast<size_t>(room) < N - 1 ? static_cast<size_t>(room) : N - 1;
  if (getNthValueSafe(index, record, ',', whole, keep + 2) < 0)
    return Field::Missing;
  if (strlen(whole) > keep)
    return Field::TooLong;
  memcpy(text, whole, keep + 1);
  return Field::Read;
}

// A numeric field, read with atoi's reading of text.
Field numberField(const char *record, int index, int room, int &value)
{
  char text[8] = {};
  const Field got = textField(record, index, room, text);
  if (got == Field::Read)
    value = text_to_int(text);
  return got;
}

// User ceilings are compared with this fixed bound, not with the link speed:
// a ceiling between the link speed and the bound reaches tc unchanged.
constexpr int kCeilingBound = 51200;

void markingPair(const char *out, const UserRuleMatch &m, int mark)
{
  // Without a device to name after "-o" the pair could match nothing.
  if (out == nullptr)
    return;
  char head[64];
  char matches[sizeof m.srcPorts + sizeof m.dstPorts + sizeof m.srcRange + sizeof m.dstRange + 4];
  snprintf(head, sizeof head, "-t mangle -A POSTROUTING -o %s ", out);
  snprintf(matches, sizeof matches, " %s %s %s %s", m.srcPorts, m.dstPorts, m.srcRange, m.dstRange);
  markPair({m.family, head, m.protocol, matches}, mark);
}

// The marking pair and the leaf: towards the WAN in WAN_IF's tree, towards
// the LAN in LAN_IF's, with a plain leaf for the same mark in the wireless
// tree (the LAN pair on the bridge marks the wireless hosts' traffic too). A
// guaranteed rate is never capped; a ceiling is.
void buildRule(int n, const UserRule &rule, const UserRuleMatch &match, int level)
{
  const bool wan = rule.direction == 1;
  printf("%sTo %s \n", kVxTag, wan ? "WAN" : "LAN");
  const int mark = n + (wan ? kUserWanMarkBase : kUserLanMarkBase);
  markingPair(wan ? WAN_IF : BR_IF, match, mark);
  const char *dev = wan ? WAN_IF : LAN_IF;
  const int speed = wan ? UPLINK_SPEED : DOWNLINK_SPEED;
  const int ceil = rule.kind == 1 || rule.bandwidth > kCeilingBound ? speed : rule.bandwidth;
  const int rate = rule.kind == 1 ? rule.bandwidth : 10;
  if (dev != nullptr)
    addLeaf({dev, wan ? 1 : 3, mark, rate, ceil, CLASS_PRIO[level], FILTER_PRIO[level]}, " ", wan ? "  " : " ",
            wan ? " " : "  ");
  if (!wan && WLAN_IF != nullptr)
    plainLeaf(WLAN_IF, 5, mark, DOWNLINK_SPEED);
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
  // The three refusals (the last three reads) share their head.
  if (read >= UserRuleRead::Incomplete)
    printf("%suser rule %d skipped: ", kVxTag, n);
  switch (read) {
  case UserRuleRead::Incomplete:
    printf("record ends before field %d\n", problem.field);
    return;
  case UserRuleRead::Invalid:
    printf("field %d is not %s\n", problem.field, problem.expected);
    return;
  case UserRuleRead::TooLong:
    printf("field %d is longer than %d characters\n", problem.field, problem.room);
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
  if (match.family == Family::Ipv4 && ipv6Mode() == Ipv6Mode::On)
    printf("%suser rule %d marks IPv4 only (%s)\n", kVxTag, n, match.icmp ? "ICMP" : "IPv4 addresses");
  buildRule(n, rule, match, level);
}

} // namespace

bool selectorSet(const UserRule &rule, UserSelector which)
{
  const char *text = rule.selector[which];
  const char *unset = isAddress(which) ? "0.0.0.0" : "0";
  return text[0] != '\0' && strcmp(text, unset) != 0;
}

bool hasSelector(const UserRule &rule)
{
  for (int i = 0; i < kUserSelectorCount; ++i) {
    if (selectorSet(rule, static_cast<UserSelector>(i)))
      return true;
  }
  return false;
}

UserRuleRead readUserRule(const char *record, UserRule &rule, UserRuleProblem &problem)
{
  rule = UserRule{};
  problem = UserRuleProblem{0, nullptr, 0};
  // An enable field longer than its two characters is not 1.
  int enable = 0;
  if (numberField(record, 0, 2, enable) != Field::Read || enable != 1)
    return UserRuleRead::Disabled;

  auto invalid = [&](int field, const char *expected) {
    problem.field = field;
    problem.expected = expected;
    return UserRuleRead::Invalid;
  };
  auto tooLong = [&](int field, int room) {
    problem.field = field;
    problem.room = room;
    return UserRuleRead::TooLong;
  };
  UserRuleRead failed = UserRuleRead::Ready;
  // Reads a numeric field the rule needs; false with `failed` set when the
  // record ends before it or it is longer than its room.
  auto number = [&](int field, int room, int &value) {
    const Field got = numberField(record, field, room, value);
    if (got == Field::Missing) {
      problem.field = field;
      failed = UserRuleRead::Incomplete;
    } else if (got == Field::TooLong) {
      failed = tooLong(field, room);
    }
    return got == Field::Read;
  };

  if (!number(1, 2, rule.direction))
    return failed;
  if (rule.direction == 2)
    rule.direction = 1;
  if (rule.direction != 0 && rule.direction != 1)
    return UserRuleRead::OtherDirection;

  if (!number(3, 2, rule.category))
    return failed;
  if (rule.category < 0 || rule.category > 5)
    return invalid(3, "a category 0 to 5");

  if (!number(4, 2, rule.kind))
    return failed;
  if (rule.kind != 0 && rule.kind != 1)
    return invalid(4, "a bandwidth kind 0 or 1");

  if (!number(5, 7, rule.bandwidth))
    return failed;
  rate_check(rule.bandwidth);

  if (!number(12, 2, rule.protocol))
    return failed;
  if (rule.protocol < 0 || rule.protocol > 2)
    return invalid(12, "a protocol 0, 1 or 2");
  if (rule.protocol == 2) {
    if (!number(13, 5, rule.protoNumber))
      return failed;
    if (rule.protoNumber < 0 || rule.protoNumber > 255)
      return invalid(13, "a protocol number 0 to 255");
  }

  // A record may end anywhere among the selectors: what is missing is unset.
  // A set selector goes into the command line as it stands, so it must be
  // exactly a dotted address or a decimal port.
  for (int i = 0; i < kUserSelectorCount; ++i) {
    const int field = kFirstSelectorField + i;
    if (textField(record, field, kSelectorRoom[i], rule.selector[i]) == Field::TooLong)
      return tooLong(field, kSelectorRoom[i]);
    if (!selectorSet(rule, static_cast<UserSelector>(i)))
      continue;
    if (isAddress(i) ? !is_dotted_ipv4(rule.selector[i]) : !is_port(rule.selector[i]))
      return invalid(field, isAddress(i) ? "a dotted address" : "a port 0 to 65535");
  }
  return UserRuleRead::Ready;
}

void buildUserRuleMatch(const UserRule &rule, UserRuleMatch &match)
{
  match = UserRuleMatch{};
  match.icmp = rule.protocol == 2 && rule.protoNumber == 1;
  if (rule.protocol == 2 && !match.icmp)
    snprintf(match.protocol, sizeof match.protocol, "%d", rule.protoNumber);
  else
    snprintf(match.protocol, sizeof match.protocol, "%s", match.icmp ? "icmp" : rule.protocol == 0 ? "tcp" : "udp");

  // Each range needs both of its ends; one end alone adds no match.
  const auto &s = rule.selector;
  if (selectorSet(rule, SrcPortFirst) && selectorSet(rule, SrcPortLast))
    snprintf(match.srcPorts, sizeof match.srcPorts, "--sport %s:%s", s[SrcPortFirst], s[SrcPortLast]);
  if (selectorSet(rule, DstPortFirst) && selectorSet(rule, DstPortLast))
    snprintf(match.dstPorts, sizeof match.dstPorts, "--dport %s:%s", s[DstPortFirst], s[DstPortLast]);
  if (selectorSet(rule, SrcFirst) && selectorSet(rule, SrcLast))
    snprintf(match.srcRange, sizeof match.srcRange, "-m iprange --src-range %s-%s", s[SrcFirst], s[SrcLast]);
  if (selectorSet(rule, DstFirst) && selectorSet(rule, DstLast))
    snprintf(match.dstRange, sizeof match.dstRange, "-m iprange --dst-range %s-%s", s[DstFirst], s[DstLast]);
  // An address range is IPv4's; so is ICMP as the user chose it.
  const bool ipv4 = match.srcRange[0] != '\0' || match.dstRange[0] != '\0' || match.icmp;
  match.family = ipv4 ? Family::Ipv4 : Family::Both;
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
