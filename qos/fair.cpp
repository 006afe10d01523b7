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
};
constexpr FairNumbers kFair = {6, 3, 4, 16, 1540 * 8, 5000, 95000, 300, 40960, 1514, 1024, 125, 131072, 1048576};

// The behaviour rules' numbers stand in their texts below:
//  - a connection whose packets average more than 500 bytes (both directions)
//    stays where it is;
//  - otherwise each answered flow's original direction is metered (a flow
//    is promoted from its first packet after an answer, so one-packet
//    flows, however many, are never promoted): at most 100 packets
//    a second (5 more within a second) over 1 s windows (rate-match's
//    default interval); a flow over the rate
//    is not promoted for the rest of that second and the whole next one, so
//    a demoted flow returns only after 1 s under the limit;
//  - the meter holds at most 8192 flows in 1024 buckets, each forgotten 3 s
//    after its last packet (1000 new flows a second fit);
//  - a host buys no priority: once the small-packet UDP it originates comes
//    to more than 32 KiB a second (a call and a game take about 16), all of
//    it goes to the lowest class until a whole second under that, so that
//    neither a flood of sparse flows nor one of new flows crowds the flows
//    of other hosts. Replies are not counted: a server that answers many
//    LAN hosts' calls is not a host that floods. That meter holds one entry
//    per source address, in the kernel's default bounds;
//  - the flow meter's verdict is bit 0x10000 of the connection mark, which
//    carries it to the reply direction: each packet of the original
//    direction clears it and sets it again when the meter passes. It is
//    never put on a packet mark, which the fw filters compare whole.
// The kernel features a refused line may name, each said once per run.
constexpr char kFeatures[] = "fq_codel\0connbytes\0hashlimit\0CONNMARK\0dscp\0";
unsigned g_said = 0;

// Unclassified UDP, what still has the low default mark once the
// application and user rules are through, at the end of POSTROUTING. The
// guard is on every rule; each line is one.
constexpr char kFlowRules[] =
    "-m connbytes --connbytes 501: --connbytes-dir both --connbytes-mode avgpkt -j RETURN\n"
    "-m conntrack --ctdir ORIGINAL -j CONNMARK --and-mark 0xfffeffff\n"
    "-m conntrack --ctdir ORIGINAL -m hashlimit --hashlimit-above 32kb/s --hashlimit-mode srcip --hashlimit-name "
    "vx_host --hashlimit-rate-match -j MARK --set-mark 6\n"
    "-m conntrack --ctdir ORIGINAL --ctstate ESTABLISHED -m hashlimit --hashlimit-upto 100/sec --hashlimit-mode "
    "srcip,srcport,dstip,dstport --hashlimit-name vx_fair --hashlimit-htable-size 1024 --hashlimit-htable-max 8192 "
    "--hashlimit-htable-expire 3000 --hashlimit-rate-match -j CONNMARK --or-mark 0x10000\n"
    "-m connmark --mark 0x10000/0x10000 -j MARK --set-mark 2\n";

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

constexpr unsigned kAllParts = kFairShares | kFairLeaves | kFairFlows | kFairDscp;

bool g_writes = false; // the key on, and not a dry run

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
  for (const char *name = "shares\0leaves\0flows\0dscp\0"; off != nullptr && *name != '\0'; name += strlen(name) + 1) {
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

// The note of the mode's own lines; a leaf's comes without its text (a line
// of a tc batch) and names the leaves' queue, the only feature it has.
void sayMissing(const char *line)
{
  if (line == nullptr)
    line = kFeatures;
  unsigned bit = 1;
  for (const char *word = kFeatures; *word != '\0'; word += strlen(word) + 1, bit <<= 1) {
    if (strstr(line, word) == nullptr)
      continue;
    if ((g_said & bit) == 0)
      printf("%sfair mode: no %s: %s\n", kVxTag, word, bit == 1 ? "leaves keep sfq" : "the rest applies");
    g_said |= bit;
    return;
  }
}

} // namespace

unsigned g_fairParts = 0;

void setSysctlWriter(SysctlWriter writer)
{
  g_write = writer != nullptr ? writer : writeFile;
}

void fairStart(bool keyOn, bool dryRun, bool guarded)
{
  g_writes = keyOn && !dryRun;
  g_said = 0;
  g_fairParts = keyOn ? ~partsOff() & kAllParts : 0;
  if (dryRun)
    return;
  const bool marked = !guarded || access(kFairMarker, F_OK) == 0;
  if (!keyOn) {
    // The mode turned accounting on: off again.
    if (guarded && marked && g_write(kConntrackAcct, "0"))
      unlink(kFairMarker);
    return;
  }
  // The marker goes first, where the mode turns accounting on.
  if (!marked && firstChar(kConntrackAcct) != '1')
    g_write(kFairMarker, "");
  g_write(kConntrackAcct, "1");
}

void fairAfterBuild()
{
  // Not there before connection tracking is loaded, which the rules do.
  if (g_writes && !g_write(kConntrackAcct, "1"))
    printf("%sfair mode: cannot set nf_conntrack_acct: %m\n", kVxTag);
}

DefaultShares defaultShares(int speed)
{
  if (!fairOn(kFairShares))
    return {kMinRate, speed, kMinRate, kMinRate};
  return {atLeastMin(speed / kFair.highRateDiv), atLeastMin(speed / kFair.highCeilDiv),
          atLeastMin(speed / kFair.lowRateDiv), atLeastMin(speed / kFair.bulkRateDiv)};
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
  const FqCodelParams p = fqCodelFor(tree == 1 ? UPLINK_SPEED : DOWNLINK_SPEED);
  // The sfq line with its queue swapped: everything up to the handle's colon
  // (the last one, as "sfq perturb N" has none), then fq_codel.
  char fq[192];
  snprintf(fq, sizeof fq, "%.*s fq_codel limit %d memory_limit %d target %dus interval %dus quantum %d ecn",
           static_cast<int>(strrchr(line, ':') + 1 - line), line, p.limit, p.memoryLimit, p.targetUs, p.intervalUs,
           p.quantum);
  noteRefusals(sayMissing);
  vx_doCmdOr(line, fq);
  noteRefusals(nullptr);
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
    snprintf(text, sizeof text, kGuard, static_cast<int>(end - p), p);
    issueRule({Family::Both, "-t mangle -A POSTROUTING ", "udp", text});
    p = end + 1;
  }
  noteRefusals(nullptr);
}
