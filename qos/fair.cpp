#include "fair.h"

#include "apply.h"
#include "qos_seams.h"
#include "rules.h"
#include "state.h"

#include "smallfile.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The mode's numbers. S is the tree's link speed in kbit/s; every rate is at
// least kMinRate.
struct FairNumbers {
  int highRateDiv;    // h:2 rate   S/6: nothing can take the link from what is promoted
  int highCeilDiv;    // h:2 ceil   S/3: nothing promoted can take the link (sqm's priority ceiling)
  int lowRateDiv;     // h:4 rate   S/4: S/6 left a 333 kbit/s video 341 kbit/s at 2048 kbit/s
  int bulkRateDiv;    // h:6 rate   S/16, CS1's floor (cake's bulk tin)
  int packetBits;     // target     max(minTargetUs, the time of one 1540-byte packet at S)
  int minTargetUs;    //            5 ms
  int intervalBaseUs; // interval   95 ms + target
  int smallQuantum;   // quantum    300 bytes below quantumSpeed (small packets go first), else one MTU
  int quantumSpeed;   //            40 Mbit/s
  int mtuQuantum;     //            1514 bytes
  int limitPackets;   // limit      1024 packets: 250 ms of full packets at 50 Mbit/s
  int memoryMs;       // memory_limit  memoryMs of S in bytes, from minMemory to maxMemory:
  int minMemory;      //            128 KiB (7.5 MiB for 60 leaves)
  int maxMemory;      //            1 MiB (60 MiB for 60 leaves, only if all flood at once)
  int smallAvgBytes;  // flows      promoted while a connection's packets average at most 500 bytes
  int sparseRate;     //            and it sends at most 100 packets per second,
  int sparseBurst;    //            5 more within a second,
  int rateIntervalS;  //            measured over 1 s: a demoted flow returns after 1 s under the limit
  int meterBuckets;   // hashlimit  1024 buckets,
  int meterMax;       //            8192 flows (1000 new flows a second fit),
  int meterExpireMs;  //            each forgotten 3 s after its last packet,
  int meterGcMs;      //            looked over every second
};

constexpr FairNumbers kFair = {6,   3,    4,      16,   1540 * 8, 5000, 95000, 300,  40960, 1514, 1024,
                               250, 131072, 1048576, 500, 100,     5,    1,     1024, 8192,  3000, 1000};

// The connection mark's bit for "promoted": never left on a packet mark,
// which the fw filters compare whole.
constexpr unsigned kPromoted = 0x10000;

struct DscpClass {
  const char *name;
  int mark;
};
constexpr DscpClass kDscpClasses[] = {{"EF", kHighMark},   {"CS5", kHighMark},  {"CS6", kHighMark},
                                      {"CS7", kHighMark},  {"AF41", kHighMark}, {"AF42", kHighMark},
                                      {"AF43", kHighMark}, {"CS1", kBulkMark}};

constexpr char kDscpChain[] = "VX_DSCP";
constexpr char kFlowChain[] = "VX_FAIR";

constexpr char kNoFqCodel[] = "vx_qos: fair mode: the kernel has no fq_codel: leaves keep sfq";
constexpr char kNoConnbytes[] = "vx_qos: fair mode: no connbytes match: flows are judged by their packet rate alone";
constexpr char kNoHashlimit[] = "vx_qos: fair mode: no hashlimit match: no flow is promoted by its behaviour";
constexpr char kNoConnmark[] = "vx_qos: fair mode: no CONNMARK: no flow is promoted by its behaviour";
constexpr char kNoDscp[] = "vx_qos: fair mode: no dscp match: DSCP is not read";

constexpr unsigned kAllParts = kFairShares | kFairLeaves | kFairFlows | kFairDscp;

bool g_keyOn = false;
unsigned g_parts = 0;

bool writeSysctlFile(const char *path, const char *value)
{
  const int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  const bool ok = write_all(fd, value, strlen(value));
  const int saved = errno;
  close(fd);
  errno = saved;
  return ok;
}

SysctlWriter g_sysctl = writeSysctlFile;

// Not yet there while connection tracking is not loaded: the build's rules
// load it, and the setting is written again once they are in.
bool g_acctPending = false;

void setAcct(const char *value)
{
  if (!g_sysctl(kConntrackAcct, value))
    printf("%sfair mode: cannot set nf_conntrack_acct=%s: %s\n", kVxTag, value, strerror(errno));
}

// The benchmark's switches: each named part is left out.
unsigned partsOff()
{
  const char *off = getenv("VX_QOS_FAIR_OFF");
  if (off == nullptr)
    return 0;
  constexpr const char *kNames[] = {"shares", "leaves", "flows", "dscp"};
  unsigned parts = 0;
  for (unsigned i = 0; i < 4; ++i) {
    if (strstr(off, kNames[i]) != nullptr)
      parts |= 1u << i;
  }
  return parts;
}

int atLeastMin(int rate)
{
  return rate < kMinRate ? kMinRate : rate;
}

Fallback note(const char *text)
{
  Fallback f;
  f.note = text;
  return f;
}

} // namespace

void setSysctlWriter(SysctlWriter writer)
{
  g_sysctl = writer != nullptr ? writer : writeSysctlFile;
}

void fairStart(bool keyOn, bool dryRun, bool guarded)
{
  g_keyOn = keyOn;
  g_parts = keyOn ? kAllParts & ~partsOff() : 0;
  if (!keyOn || dryRun)
    return;
  // The marker goes first, holding the setting as the router had it.
  char was[8];
  if (guarded && read_small_file(kFairMarker, was, sizeof was) < 0) {
    if (read_small_file(kConntrackAcct, was, sizeof was) < 1)
      snprintf(was, sizeof was, "0\n");
    replace_file_or_report("vx_qos", kFairMarker, was, strlen(was));
  }
  g_acctPending = !g_sysctl(kConntrackAcct, "1");
}

void fairAfterBuild()
{
  if (g_acctPending)
    setAcct("1");
  g_acctPending = false;
}

void fairAfterReset(bool dryRun, bool guarded)
{
  char was[8];
  if (g_keyOn || dryRun || !guarded || read_small_file(kFairMarker, was, sizeof was) < 0)
    return;
  setAcct(was[0] == '1' ? "1" : "0");
  unlink(kFairMarker);
}

bool fairOn(unsigned part)
{
  return (g_parts & part) != 0;
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
  const long long kbit = speed < kMinRate ? kMinRate : speed;
  const long long packetUs = kFair.packetBits * 1000LL / kbit;
  const int target = packetUs > kFair.minTargetUs ? static_cast<int>(packetUs) : kFair.minTargetUs;
  long long memory = kbit * 1000 / 8 * kFair.memoryMs / 1000;
  memory = memory < kFair.minMemory ? kFair.minMemory : memory > kFair.maxMemory ? kFair.maxMemory : memory;
  return {target, kFair.intervalBaseUs + target, speed < kFair.quantumSpeed ? kFair.smallQuantum : kFair.mtuQuantum,
          kFair.limitPackets, static_cast<int>(memory)};
}

void bulkClass(const char *dev, int handle, int speed)
{
  if (!fairOn(kFairDscp))
    return;
  vx_doCmd("tc class  add dev %s parent %d:1 classid %d:%d htb rate %dkbit ceil %dkbit prio %d", dev, handle, handle,
           kBulkMark, defaultShares(speed).bulkRate, speed, 7);
  leafQdisc({dev, handle, kBulkMark, speed}, "tc qdisc  add dev %s parent %d:%d handle 1%d: sfq perturb 10", dev,
            handle, kBulkMark, kBulkMark);
  fwFilter(dev, handle, 4, kBulkMark, " ", "  ");
}

int leafQdisc(const LeafQueue &leaf, const char *fmt, ...)
{
  Fallback sfq;
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(sfq.line, sizeof sfq.line, fmt, ap);
  va_end(ap);
  if (!fairOn(kFairLeaves))
    return vx_doCmd("%s", sfq.line);
  sfq.note = kNoFqCodel;
  const FqCodelParams p = fqCodelFor(leaf.speed);
  return vx_doCmdOr(sfq,
                    "tc qdisc add dev %s parent %d:%d handle 1%d: fq_codel limit %d memory_limit %d target %dus "
                    "interval %dus quantum %d ecn",
                    leaf.dev, leaf.handle, leaf.mark, leaf.mark, p.limit, p.memoryLimit, p.targetUs, p.intervalUs,
                    p.quantum);
}

void fairRules()
{
  char text[400];
  char target[64];
  if (fairOn(kFairDscp) && BR_IF != nullptr) {
    // Only what enters from the LAN: DSCP from the WAN is not trusted.
    snprintf(text, sizeof text, "-t mangle -N %s", kDscpChain);
    issueRule({Family::Both, text});
    snprintf(text, sizeof text, "-i %s -m mark --mark %d", BR_IF, kLowMark);
    issueRule({Family::Both, "-t mangle -A FORWARD ", nullptr, text}, kDscpChain);
    const Fallback noDscp = note(kNoDscp);
    for (const DscpClass &d : kDscpClasses) {
      snprintf(text, sizeof text, "-m dscp --dscp-class %s", d.name);
      snprintf(target, sizeof target, "MARK --set-mark %d", d.mark);
      issueRule({Family::Both, "-t mangle -A VX_DSCP ", nullptr, text, &noDscp}, target);
    }
  }
  if (!fairOn(kFairFlows))
    return;
  // Unclassified UDP. A connection's original direction is metered per flow;
  // the verdict, kept on the connection mark, carries both directions.
  snprintf(text, sizeof text, "-t mangle -N %s", kFlowChain);
  issueRule({Family::Both, text});
  snprintf(text, sizeof text, " -m mark --mark %d", kLowMark);
  issueRule({Family::Both, "-t mangle -A POSTROUTING ", "udp", text}, kFlowChain);
  const Fallback noConnbytes = note(kNoConnbytes);
  snprintf(text, sizeof text, "-m connbytes --connbytes %d: --connbytes-dir both --connbytes-mode avgpkt",
           kFair.smallAvgBytes + 1);
  issueRule({Family::Both, "-t mangle -A VX_FAIR ", nullptr, text, &noConnbytes}, "RETURN");
  const Fallback noHashlimit = note(kNoHashlimit);
  snprintf(text, sizeof text,
           "-m conntrack --ctdir ORIGINAL -m hashlimit --hashlimit-upto %d/sec --hashlimit-burst %d --hashlimit-mode "
           "srcip,srcport,dstip,dstport --hashlimit-name vx_fair --hashlimit-htable-size %d --hashlimit-htable-max %d "
           "--hashlimit-htable-expire %d --hashlimit-htable-gcinterval %d --hashlimit-rate-match "
           "--hashlimit-rate-interval %d",
           kFair.sparseRate, kFair.sparseBurst, kFair.meterBuckets, kFair.meterMax, kFair.meterExpireMs,
           kFair.meterGcMs, kFair.rateIntervalS);
  snprintf(target, sizeof target, "MARK --set-xmark 0x%x/0x%x", kPromoted, kPromoted);
  issueRule({Family::Both, "-t mangle -A VX_FAIR ", nullptr, text, &noHashlimit}, target);
  const Fallback noConnmark = note(kNoConnmark);
  snprintf(target, sizeof target, "CONNMARK --save-mark --nfmask 0x%x --ctmask 0x%x", kPromoted, kPromoted);
  issueRule({Family::Both, "-t mangle -A VX_FAIR ", nullptr, "-m conntrack --ctdir ORIGINAL", &noConnmark}, target);
  snprintf(text, sizeof text, "-m connmark --mark 0x%x/0x%x", kPromoted, kPromoted);
  snprintf(target, sizeof target, "MARK --set-mark %d", kHighMark);
  issueRule({Family::Both, "-t mangle -A VX_FAIR ", nullptr, text, &noConnmark}, target);
  // Whatever was refused above, no packet leaves with the bit.
  snprintf(target, sizeof target, "MARK --set-xmark 0x0/0x%x", kPromoted);
  issueRule({Family::Both, "-t mangle -A VX_FAIR"}, target);
}
