// The fair mode (VX_QoSFair exactly 1): no class that another class can
// starve, flow-fair leaves with short queues, and unclassified traffic
// placed by what it does rather than by its port.
//  1. shares: the default classes get assured shares of the link, the high
//     one a ceiling of a third of it;
//  2. leaves: every leaf queue is fq_codel, its parameters from the link rate
//     (sfq where the kernel has none);
//  3. flows: unclassified UDP whose packets average at most kSmallAvgBytes and
//     that sends at most kSparseRate packets a second is carried by the high
//     default class (by the lowest one, past its host's budget); the
//     decision is kept on the connection mark;
//  4. dscp: a packet from the LAN that no rule classified goes by its DSCP;
//  5. hosts: the low default class is shared by LAN host first, then by flow
//     within each host (hostLeaf);
//  6. replies: the flow and host meters count both directions of a
//     connection, so a peer's replies buy no priority;
//  7. bursts: every class may send 1 ms at its ceiling and a packet more at
//     once, where that is more than the one packet tc gives it on a kernel
//     with fine timers: a timer that fires up to 1 ms late (a busy
//     processor) then costs the class nothing, where with one packet of
//     credit the class lost the time it waited past it (a fifth of a 20
//     Mbit/s line in the lab). Where the timers tick at 1 ms or coarser,
//     tc's own burst already covers a tick.
// Without the key every line is the one the mode-less build issues.
#pragma once

// Written by every run in the mode: empty where the mode turned
// nf_conntrack_acct on, "0" where it found it on. The next full run without
// the key clears the mode's connection-mark bits, turns accounting off again
// where the mode turned it on, and removes it.
inline constexpr char kFairMarker[] = "/var/vx_qos.fair";
inline constexpr char kConntrackAcct[] = "/proc/sys/net/netfilter/nf_conntrack_acct";

enum FairPart : unsigned {
  kFairShares = 1,
  kFairLeaves = 2,
  kFairFlows = 4,
  kFairDscp = 8,
  kFairHosts = 16,
  kFairReplies = 32,
  kFairBursts = 64,
};

// Reads the key, and the benchmark aid VX_QOS_FAIR_OFF (a comma list of
// "shares", "leaves", "flows", "dscp", "hosts", "replies", "bursts" switched off to show
// what each adds; not for routers). A run with the key writes the marker and
// sets nf_conntrack_acct=1 (connbytes never sees a connection tracked before
// accounting was on).
void fairStart(bool keyOn, bool dryRun);
// After the reset's flush of the mangle table: a run without the key that
// finds the marker issues the rule that clears the mode's bits from the
// connection marks of the packets that pass.
void fairAfterReset();
// Once the reset or the build is applied (the rules have loaded connection
// tracking): accounting on with the key; without it, off again where the
// marker says the mode turned it on, and the marker goes. Nothing happens in
// a run that did not reset (a modify request keeps the build it finds).
void fairAfterBuild();
extern unsigned g_fairParts;
inline bool fairOn(unsigned part)
{
  return (g_fairParts & part) != 0;
}

// The default classes' numbers for a tree at `speed` kbit/s.
struct DefaultShares {
  int highRate, highCeil, lowRate, bulkRate;
};
DefaultShares defaultShares(int speed);

// The words after a class's ceiling of `ceil` kbit/s: "", or in the mode
// " burst N cburst N".
const char *classBurst(int ceil);
// fq_codel's parameters for a leaf of a tree at `speed` kbit/s.
struct FqCodelParams {
  int targetUs, intervalUs, quantum, limit, memoryLimit;
};
FqCodelParams fqCodelFor(int speed);

// A leaf's queue, handle "1" followed by the mark: sfq with `perturb` (`gap`
// the blanks after "qdisc"); in the mode fq_codel for the tree's link rate,
// with that sfq line where the kernel refuses it (and sfq at once for the
// rest of the run once it did). A refused line of the mode's own (a leaf's,
// a rule's) that names one of its kernel features (fq_codel, connbytes,
// hashlimit, CONNMARK, dscp, drr, flow) says so, once per run and feature.
// The low default leaf is then shared by host where the kernel has the
// queue and the filter for it.
void leafQdisc(const char *gap, const char *dev, int tree, int mark, int perturb);
// The number of host queues in the low default leaf: classes e4:1 to e4:8
// of its drr queue e4:, each with queue handle "f" followed by n.
inline constexpr int kHostQueues = 8;

// The mode's mangle rules, behind the application and user rules: DSCP in
// FORWARD, the behaviour rules at the end of POSTROUTING.
void fairRules();
