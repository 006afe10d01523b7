#include "fair.h"

#include "apply.h"
#include "qos_seams.h"
#include "rules.h"
#include "state.h"

#include "smallfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The mode's numbers. S is the tree's link speed in kbit/s; every rate is at
// least kMinRate.
struct FairNumbers {
  int highRateDiv;   // h:2 rate   S/6: nothing can take the link from what is promoted
  int highCeilDiv;   // h:2 ceil   S/3: nothing promoted can take the link (sqm's priority ceiling)
  int lowRateDiv;    // h:4 rate   S/4: S/6 left a 333 kbit/s video call 341 kbit/s at 2048 kbit/s
  int bulkRateDiv;   // h:6 rate   S/16, CS1's floor (cake's bulk tin)
  int packetBits;    // target     max(minTargetUs, the time of one 1540-byte packet at S)
  int minTargetUs;   //            5 ms
  int intervalUs;    // interval   95 ms + target
  int smallQuantum;  // quantum    300 bytes below quantumSpeed (small packets go first), else one MTU
  int quantumSpeed;  //            40 Mbit/s
  int mtuQuantum;    //            1514 bytes
  int limit;         // limit      1024 packets: 250 ms of full-size packets at 50 Mbit/s
  int memoryPerKbit; // memory_limit  S * 125 / 4 bytes (250 ms of S), from minMemory to maxMemory:
  int minMemory;     //            128 KiB (7.5 MiB for 60 leaves)
  int maxMemory;     //            1 MiB (60 MiB for 60 leaves, only if all of them flood at once)
  int burstMs;       // burst      1 ms at the class's ceiling and a packet more, where the timers
  int packetBytes;   //            are finer than 1 ms and 1 ms at the ceiling is over a packet
};
constexpr FairNumbers kFair = {6,     3,    4,    16,  1540 * 8, 5000,    95000, 300,
                               40960, 1514, 1024, 125, 131072,   1048576, 1,     1600};

// The behaviour rules' numbers stand in their texts below:
//  - a connection whose packets average more than 500 bytes (both directions)
//    stays where it is;
//  - otherwise each direction of each answered flow is metered (a flow is
//    promoted from its first packet after an answer, so one-packet flows,
//    however many, are never promoted): at most 100 packets a second (5
//    more within a second) over 1 s windows (rate-match's default
//    interval). A direction over the rate is not promoted for the rest of
//    that second and the whole next one, so a demoted flow returns only
//    after 1 s under the limit; a flow is promoted only while both of its
//    directions are under it, so a peer's flood of replies to a sparse
//    flow promotes neither;
//  - the meter holds at most 8192 flow directions in 1024 buckets, each
//    forgotten 3 s after its last packet (500 new answered flows a second
//    fit);
//  - a host buys no priority: once the small-packet UDP that a LAN host
//    sends, or once what it is sent, comes to more than 32 KiB a second (a
//    call and a game take about 16), all of it in that direction goes to
//    the lowest class until a whole second under that, so that neither a
//    flood of sparse flows, nor one of new flows, nor a peer's replies
//    crowds the flows of other hosts. The LAN host is the source of the
//    original direction of the connections it opens and the destination of
//    their replies (mangle POSTROUTING comes before the address translation
//    of what leaves, after that of what arrives); a connection a WAN peer
//    opens counts for that peer. Each direction's meter holds one entry per
//    address, in the kernel's default bounds;
//  - the flow meter's verdict is two bits of the connection mark, 0x10000
//    for the original direction and 0x20000 for the reply: each packet
//    clears its direction's bit and sets it again when the meter passes.
//    They are never put on a packet mark, which the fw filters compare
//    whole, and a run without the mode clears them (kClearBits).
// The kernel features a refused line may name, each said once per run.
constexpr char kFeatures[] = "fq_codel\0connbytes\0hashlimit\0CONNMARK\0dscp\0drr or flow\0";
constexpr unsigned kNoFq = 1;
constexpr unsigned kNoHosts = 1u << 5;
unsigned g_said = 0;

// Unclassified UDP, what still has the low default mark once the
// application and user rules are through, at the end of POSTROUTING. The
// guard is on every rule; each line is one. Lines of the replies part start
// with '='; one that starts with '!' stands in for them without it.
constexpr char kFlowRules[] =
    "-m connbytes --connbytes 501: --connbytes-dir both --connbytes-mode avgpkt -j RETURN\n"
    "-m conntrack --ctdir ORIGINAL -j CONNMARK --and-mark 0xfffeffff\n"
    "=-m conntrack --ctdir REPLY -j CONNMARK --and-mark 0xfffdffff\n"
    "=-m conntrack --ctdir ORIGINAL -m hashlimit --hashlimit-above 32kb/s --hashlimit-mode srcip --hashlimit-name "
    "vx_host --hashlimit-rate-match -j MARK --set-mark 6\n"
    "=-m conntrack --ctdir REPLY -m hashlimit --hashlimit-above 32kb/s --hashlimit-mode dstip --hashlimit-name "
    "vx_hostin --hashlimit-rate-match -j MARK --set-mark 6\n"
#ifdef VX_QOS_FAIR_ABLATION
    "!-m conntrack --ctdir ORIGINAL -m hashlimit --hashlimit-above 32kb/s --hashlimit-mode srcip --hashlimit-name "
    "vx_host --hashlimit-rate-match -j MARK --set-mark 6\n"
#endif
    "-m conntrack --ctdir ORIGINAL --ctstate ESTABLISHED -m hashlimit --hashlimit-upto 100/sec --hashlimit-mode "
    "srcip,srcport,dstip,dstport --hashlimit-name vx_fair --hashlimit-htable-size 1024 --hashlimit-htable-max 8192 "
    "--hashlimit-htable-expire 3000 --hashlimit-rate-match -j CONNMARK --or-mark 0x10000\n"
    // (The table and its bounds are the line's above, which made it.)
    "=-m conntrack --ctdir REPLY -m hashlimit --hashlimit-upto 100/sec --hashlimit-mode srcip,srcport,dstip,dstport "
    "--hashlimit-name vx_fair --hashlimit-rate-match -j CONNMARK --or-mark 0x20000\n"
    "=-m connmark --mark 0x30000/0x30000 -j MARK --set-mark 2\n"
#ifdef VX_QOS_FAIR_ABLATION
    // Without the replies part: the original direction alone, its
    // verdict lifting the replies too.
    "!-m connmark --mark 0x10000/0x10000 -j MARK --set-mark 2\n"
#endif
    ;
// What a run without the mode issues after one with it: the bits go from
// the connection mark of every UDP packet that passes (the mode marks UDP
// alone; a connection that sends no packet expires with its bits).
constexpr char kClearBits[] = "CONNMARK --and-mark 0xfffcffff";

// Each rule is put together in a buffer of kRuleText bytes: the guard and the
// longest line fit whole, so no rule is cut short.
constexpr int kRuleText = 512;
constexpr char kGuard[] = " -m mark --mark 4 %.*s";
constexpr int longestLine(const char *p)
{
  int longest = 0;
  for (int n = 0; *p != '\0'; ++p) {
    n = *p == '\n' ? 0 : n + 1;
    longest = n > longest ? n : longest;
  }
  return longest;
}
static_assert(longestLine(kFlowRules) + static_cast<int>(sizeof kGuard) < kRuleText);

// DSCP from the LAN alone; from the WAN it is not trusted. The classes of
// the high class, for UDP only (a TCP upload marked EF is bulk with a label
// and would fill the high class to its ceiling), then CS1 for the lowest.
constexpr char kDscpClasses[] = "EF\0CS5\0CS6\0CS7\0AF41\0AF42\0AF43\0CS1\0";

constexpr unsigned kAllParts =
    kFairShares | kFairLeaves | kFairFlows | kFairDscp | kFairHosts | kFairReplies | kFairBursts;

bool g_writes = false;  // not a dry run
bool g_keyOn = false;
bool g_cleared = false; // a run without the key after one with it: the bits cleared
bool g_noFq = false;    // fq_codel refused: the leaves after it get sfq at once
long g_timerNs = 0;     // the timer resolution tests set; 0: the kernel's
long g_runTimerNs = 0;  // this run's
constexpr long kCoarseNs = kFair.burstMs * 1000000L; // timers this coarse: tc's own burst

bool writeFile(const char *path, const char *value)
{
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  const bool ok = fd >= 0 && write_all(fd, value, strlen(value));
  if (fd >= 0)
    close(fd);
  return ok;
}

SysctlWriter g_write = writeFile;

// The first character of a small file, or 0.
char firstChar(const char *path)
{
  static char c; // not on the stack: the caller needs no stack guard for it
  c = 0;
  const int fd = open_input(path);
  if (fd >= 0) {
    if (read(fd, &c, 1) != 1)
      c = 0;
    close(fd);
  }
  return c;
}

// The benchmark's switches: each named part is left out. Router builds
// have none.
unsigned partsOff()
{
#ifndef VX_QOS_FAIR_ABLATION
  return 0;
#else
  const char *off = getenv("VX_QOS_FAIR_OFF");
  unsigned parts = 0;
  unsigned bit = 1;
  for (const char *name = "shares\0leaves\0flows\0dscp\0hosts\0replies\0bursts\0"; off != nullptr && *name != '\0'; name += strlen(name) + 1) {
    if (strstr(off, name) != nullptr)
      parts |= bit;
    bit <<= 1;
  }
  return parts;
#endif
}

int atLeastMin(int rate)
{
  return rate < kMinRate ? kMinRate : rate;
}

// Says once that the kernel lacks a feature: the `bit` of kFeatures.
void sayFeature(unsigned bit)
{
  unsigned b = 1;
  for (const char *word = kFeatures; *word != '\0'; word += strlen(word) + 1, b <<= 1) {
    if (b == bit && (g_said & bit) == 0)
      printf("%sfair mode: no %s: %s\n", kVxTag, word,
             bit == kNoFq ? "leaves keep sfq" : bit == kNoHosts ? "the low class is shared by flow alone" : "the rest applies");
  }
  g_said |= bit;
  g_noFq = g_noFq || bit == kNoFq;
}

// The notes of the mode's own lines: a rule names its feature in its text;
// a leaf's queue line (which comes without its text from a tc batch) is
// fq_codel's, a host queue line drr's (or its filter's).
void sayMissing(const char *line)
{
  if (line == nullptr) // a tc batch's line, which the mode's rules are not
    return;
  unsigned bit = 1;
  for (const char *word = kFeatures; *word != '\0'; word += strlen(word) + 1, bit <<= 1) {
    if (strstr(line, word) != nullptr)
      return sayFeature(bit);
  }
}

void sayNoFq(const char *)
{
  sayFeature(kNoFq);
}

void sayNoHosts(const char *)
{
  sayFeature(kNoHosts);
}

// A leaf queue: fq_codel in `fq`, the sfq line `sfq` where the kernel
// refuses it, and sfq at once once it has.
int queueLine(const char *sfq, const char *fq)
{
  noteRefusals(sayNoFq);
  const int rc = g_noFq ? vx_doCmd("%s", sfq) : vx_doCmdOr(sfq, fq);
  noteRefusals(nullptr);
  return rc;
}

// The sfq line `line` with its queue swapped for fq_codel at the link rate
// of `tree`: everything up to the handle's colon (the last one, as "sfq
// perturb N" has none), then fq_codel.
void fqLine(char (&fq)[192], const char *line, int tree)
{
  const FqCodelParams p = fqCodelFor(tree == 1 ? UPLINK_SPEED : DOWNLINK_SPEED);
  snprintf(fq, sizeof fq, "%.*s fq_codel limit %d memory_limit %d target %dus interval %dus quantum %d ecn",
           static_cast<int>(strrchr(line, ':') + 1 - line), line, p.limit, p.memoryLimit, p.targetUs, p.intervalUs,
           p.quantum);
}

// The low default leaf shared by LAN host, then by flow, once it has its
// plain queue: a drr queue (handle e4:) takes that queue's place, and its
// flow filter sends each host, by the low bits of its address (the source
// before address translation on the WAN tree, the destination on the
// others), to one of kHostQueues classes of equal quantum, each with the
// leaf's own queue. Hosts a multiple of kHostQueues apart share a class.
// Where the kernel refuses the drr queue the plain one stays; where it
// refuses the filter, the drr queue (which would drop what no filter
// classifies) makes way for sfq.
void hostLeaf(const char *dev, int tree)
{
  noteRefusals(sayNoHosts);
  int rc = vx_doCmd("tc qdisc replace dev %s parent %d:%d handle e4: drr", dev, tree, kLowMark);
  if (rc == 0) {
    char sfq[96], filter[128];
    snprintf(sfq, sizeof sfq, "tc qdisc replace dev %s parent %d:%d handle 14: sfq perturb 10", dev, tree, kLowMark);
    snprintf(filter, sizeof filter, "tc filter add dev %s parent e4: handle 1 flow map key %s divisor %d baseclass e4:1",
             dev, tree == 1 ? "nfct-src" : "dst", kHostQueues);
    rc = vx_doCmdOr(sfq, filter);
  }
  for (int n = 1; rc == 0 && n <= kHostQueues; ++n) {
    noteRefusals(sayNoHosts);
    vx_doCmd("tc class add dev %s parent e4: classid e4:%d drr", dev, n);
    char sfq[96], fq[192];
    snprintf(sfq, sizeof sfq, "tc qdisc add dev %s parent e4:%d handle f%d: sfq perturb 10", dev, n, n);
    fqLine(fq, sfq, tree);
    queueLine(sfq, fq);
  }
  noteRefusals(nullptr);
}

} // namespace

unsigned g_fairParts = 0;

void setTimerResolution(long ns)
{
  g_timerNs = ns;
}

void setSysctlWriter(SysctlWriter writer)
{
  g_write = writer != nullptr ? writer : writeFile;
}

void fairStart(bool keyOn, bool dryRun)
{
  g_writes = !dryRun;
  g_keyOn = keyOn;
  g_said = 0;
  g_noFq = false;
  g_fairParts = keyOn ? ~partsOff() & kAllParts : 0;
  g_runTimerNs = g_timerNs;
  timespec res{};
  if (g_runTimerNs == 0 && clock_getres(CLOCK_MONOTONIC, &res) == 0)
    g_runTimerNs = res.tv_sec != 0 ? kCoarseNs : res.tv_nsec;
  const bool marked = access(kFairMarker, F_OK) == 0;
  g_cleared = !keyOn && marked;
  if (dryRun || !keyOn)
    return;
  // The marker goes first, saying whether the mode turns accounting on.
  if (!marked && !g_write(kFairMarker, firstChar(kConntrackAcct) == '1' ? "0" : ""))
    printf("%sfair mode: cannot write %s: %m\n", kVxTag, kFairMarker);
  g_write(kConntrackAcct, "1");
}

void fairAfterReset()
{
  if (g_cleared)
    issueRule({Family::Both, "-t mangle -A PREROUTING ", "udp"}, kClearBits);
}

void fairAfterBuild()
{
  if (!g_writes)
    return;
  // Not there before connection tracking is loaded, which the rules do.
  if (g_keyOn && !g_write(kConntrackAcct, "1"))
    printf("%sfair mode: cannot set nf_conntrack_acct: %m\n", kVxTag);
  // Off again only where the mode turned it on; without connection
  // tracking loaded there is no setting, and the marker stays for the
  // next run.
  if (g_cleared && (firstChar(kFairMarker) == '0' || g_write(kConntrackAcct, "0")))
    unlink(kFairMarker);
}

DefaultShares defaultShares(int speed)
{
  if (!fairOn(kFairShares))
    return {kMinRate, speed, kMinRate, kMinRate};
  return {atLeastMin(speed / kFair.highRateDiv), atLeastMin(speed / kFair.highCeilDiv),
          atLeastMin(speed / kFair.lowRateDiv), atLeastMin(speed / kFair.bulkRateDiv)};
}

const char *classBurst(int ceil)
{
  static char words[40];
  const int bytes = ceil / 8 * kFair.burstMs; // kbit/s * ms / 8 = bytes, with no product to overflow
  if (!fairOn(kFairBursts) || g_runTimerNs >= kCoarseNs || bytes <= kFair.packetBytes)
    return "";
  snprintf(words, sizeof words, " burst %d cburst %d", bytes + kFair.packetBytes, bytes + kFair.packetBytes);
  return words;
}

FqCodelParams fqCodelFor(int speed)
{
  const int kbit = atLeastMin(speed);
  const int packetUs = kFair.packetBits * 1000 / kbit;
  const int target = packetUs > kFair.minTargetUs ? packetUs : kFair.minTargetUs;
  int memory = kbit * kFair.memoryPerKbit / 4;
  memory = memory < kFair.minMemory ? kFair.minMemory : memory > kFair.maxMemory ? kFair.maxMemory : memory;
  return {target, kFair.intervalUs + target, speed < kFair.quantumSpeed ? kFair.smallQuantum : kFair.mtuQuantum,
          kFair.limit, memory};
}

void leafQdisc(const char *gap, const char *dev, int tree, int mark, int perturb)
{
  char line[96];
  snprintf(line, sizeof line, "tc qdisc%sadd dev %s parent %d:%d handle 1%d: sfq perturb %d", gap, dev, tree, mark,
           mark, perturb);
  if (!fairOn(kFairLeaves)) {
    vx_doCmd("%s", line);
    return;
  }
  char fq[192];
  fqLine(fq, line, tree);
  queueLine(line, fq);
  if (mark == kLowMark && fairOn(kFairHosts))
    hostLeaf(dev, tree);
}

void fairRules()
{
  char text[kRuleText];
  noteRefusals(sayMissing);
  for (const char *p = kDscpClasses; fairOn(kFairDscp) && BR_IF != nullptr && *p != '\0'; p += strlen(p) + 1) {
    const bool bulk = p[strlen(p) + 1] == '\0';
    snprintf(text, sizeof text, "-i %s -m mark --mark 4 -m dscp --dscp-class %s", BR_IF, p);
    // "udp " carries the blank before the matches, which the head's own
    // trailing blank gives CS1's line.
    issueRule({Family::Both, "-t mangle -A FORWARD ", bulk ? nullptr : "udp ", text},
              bulk ? "MARK --set-mark 6" : "MARK --set-mark 2");
  }
  for (const char *p = kFlowRules; fairOn(kFairFlows) && *p != '\0';) {
    const char *end = strchr(p, '\n');
    const char tag = *p == '=' || *p == '!' ? *p++ : ' ';
    snprintf(text, sizeof text, kGuard, static_cast<int>(end - p), p);
    if (tag == ' ' || (tag == '!') != fairOn(kFairReplies))
      issueRule({Family::Both, "-t mangle -A POSTROUTING ", "udp", text});
    p = end + 1;
  }
  noteRefusals(nullptr);
}
