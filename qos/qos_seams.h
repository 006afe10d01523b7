// The QoS program's entry points for tests alone: the pieces of its
// builders that unit tests and fuzz harnesses drive directly, and the seam
// that starts the batch tools. The production code defines them; nothing
// outside qos/ but tests includes this header.
#pragma once

#include <cstddef>

// Puts every field of the run state (state.h), and the WAN device
// getWanIfName remembers, back to what a fresh run starts with.
void resetRunState();

// How the batch tools are started: argv[0] looked up on PATH, standard input
// from `in`, output to `out` and `err` (-1 leaves a stream as it is). Returns
// the exit status, or -1 when the tool could not be started. A seam for tests.
using ToolRunner = int (*)(const char *const argv[], int in, int out, int err);
// nullptr restores the real one.
void setToolRunner(ToolRunner runner);

// Application entries. A direction's settings. The rate value field exists only for rate kinds 0
// (the value is a ceiling) and 1 (a guaranteed rate).
struct DirectionSetting {
  int enable = 0;
  int kind = 0;
  int value = 0; // after rate_check; 0 when the kind has no value field
};

struct AppEntry {
  int level = 0;  // category priority level, field 0
  int enable = 0; // field 1
  DirectionSetting directions[4];
};

// Reads entry text field by field: level, enable, then `directionCount`
// directions through the field cursor (from field 2, three fields for a
// direction of rate kind 0 or 1, two for any other kind).
void readAppEntry(const char *text, int directionCount, AppEntry &entry);

// Class, queue and filter parameters of one application leaf.
struct LeafParams {
  int rate;
  int ceil;
  int classPrio;
  int filterPrio;
};

// The leaf for a direction shaped at link speed `speed` in an application of
// priority `level`. A direction that is off, or whose rate kind carries no
// value, gets the plain leaf: 10 kbit, the link speed as ceiling, prio 4.
LeafParams appLeaf(const DirectionSetting &dir, int level, int speed);

// User rules. One user rule as the configuration store holds it
// ("QoSUserRules%d"): a comma-separated record, read into a fresh struct for
// every rule so that nothing of an earlier rule's record is ever used for a
// later one.
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

// The five match fragments of the rule's marking pair; each may be empty.
struct UserRuleMatch {
  char protocol[8];
  char srcPorts[64];
  char dstPorts[64];
  char srcRange[128];
  char dstRange[128];
  bool ipv4Only; // marks IPv4 alone, also in the IPv6 mode
};

void buildUserRuleMatch(const UserRule &rule, UserRuleMatch &match);

// How the fair mode writes nf_conntrack_acct: the path and the value.
// nullptr restores the real write.
using SysctlWriter = bool (*)(const char *path, const char *value);
void setSysctlWriter(SysctlWriter writer);
