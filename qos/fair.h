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
//  4. dscp: a packet from the LAN that no rule classified goes by its DSCP.
// Without the key every line is the one the mode-less build issues.
#pragma once

// Written by a run in the mode that turns nf_conntrack_acct on; the next
// run without the key turns it off again and removes it.
inline constexpr char kFairMarker[] = "/var/vx_qos.fair";
inline constexpr char kConntrackAcct[] = "/proc/sys/net/netfilter/nf_conntrack_acct";

enum FairPart : unsigned {
  kFairShares = 1,
  kFairLeaves = 2,
  kFairFlows = 4,
  kFairDscp = 8,
};

// Reads the key, and the benchmark aid VX_QOS_FAIR_OFF (a comma list of
// "shares", "leaves", "flows", "dscp" switched off one at a time to show what
// each adds; not for routers). A guarded run with the key sets
// nf_conntrack_acct=1 (connbytes never sees a connection tracked before
// accounting was on), first writing the marker where accounting was off; one
// without the key that finds the marker turns accounting off again.
// (Without connection tracking loaded there is no setting to write, and
// the marker stays for the next run.)
void fairStart(bool keyOn, bool dryRun, bool guarded);
// Once the build's rules are in (and have loaded connection tracking).
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

// fq_codel's parameters for a leaf of a tree at `speed` kbit/s.
struct FqCodelParams {
  int targetUs, intervalUs, quantum, limit, memoryLimit;
};
FqCodelParams fqCodelFor(int speed);

// A leaf's queue, handle "1" followed by the mark: sfq with `perturb` (`gap`
// the blanks after "qdisc"); in the mode fq_codel for the tree's link rate,
// with that sfq line where the kernel refuses it. A refused line of the
// mode's own (a leaf's, a rule's) that names one of its kernel features
// (fq_codel, connbytes, hashlimit, CONNMARK, dscp) says so, once per run and
// feature.
void leafQdisc(const char *gap, const char *dev, int tree, int mark, int perturb);

// The mode's mangle rules, behind the application and user rules: DSCP in
// FORWARD, the behaviour rules at the end of POSTROUTING.
void fairRules();
