// The user's own rules ("QoSUserRules%d").
#pragma once

#include "rules.h"

// One user rule as the configuration store holds it: a comma-separated
// record, read into a fresh struct for every rule so that nothing of an
// earlier rule's record is ever used for a later one.
// The eight selector fields 14 to 21, in record order.
enum UserSelector { DstFirst, DstLast, DstPortFirst, DstPortLast, SrcFirst, SrcLast, SrcPortFirst, SrcPortLast };
inline constexpr int kUserSelectorCount = 8;
inline constexpr int kFirstSelectorField = 14;

struct UserRule {
  int direction;   // 0 towards the LAN, 1 towards the WAN (a record's 2 reads as 1)
  int category;    // slot of CATEGORY_PRIO, 0 to 5
  int kind;        // 0: the bandwidth is a ceiling; 1: a guaranteed rate
  int bandwidth;   // kbit/s, at least 10
  int protocol;    // 0 tcp, 1 udp, 2 the IP protocol number below
  int protoNumber; // 0 to 255
  // As the store holds them; "0.0.0.0", "0" and empty mean unset. A field
  // longer than the room kept for it refuses the rule, it is never cut.
  char selector[kUserSelectorCount][20];
};

enum class UserRuleRead {
  Disabled,       // field 0 is not 1
  Ready,          // every field usable
  OtherDirection, // a direction other than 0, 1 or 2
  Incomplete,     // the record ends before a needed field (problem.field)
  Invalid,        // problem.field is not what problem.expected says
  TooLong,        // problem.field is longer than the problem.room characters kept
};

struct UserRuleProblem {
  int field;
  const char *expected; // e.g. "a dotted address"
  int room;
};

UserRuleRead readUserRule(const char *record, UserRule &rule, UserRuleProblem &problem);

bool selectorSet(const UserRule &rule, UserSelector which);
// At least one of the eight selector fields is set.
bool hasSelector(const UserRule &rule);

// The protocol (its name or number) and the four match fragments of the
// rule's marking pair; each fragment may be empty.
struct UserRuleMatch {
  char protocol[8];
  char srcPorts[64];
  char dstPorts[64];
  char srcRange[128];
  char dstRange[128];
  bool icmp;     // ICMP as the user chose it: IPv4's
  Family family; // IPv4 alone for an address range or ICMP, else both
};

void buildUserRuleMatch(const UserRule &rule, UserRuleMatch &match);

// Builds the marking pair and the leaf of every enabled user rule.
int startSetUserRule();
