// HTB shaping trees: one per present device, root class at the link speed and
// the two default leaves selected by marks 2 and 4. Then the fixed rules at
// the head of the mangle table. Each MARK rule is followed at once by a RETURN
// rule with the same match, so the first classification that matches in a
// chain is final for that chain; PREROUTING ends with the unconditional low
// mark, which FORWARD and POSTROUTING rules then overwrite for the traffic
// they select.
#include "trees.h"

#include "apply.h"
#include "fair.h"
#include "linklayer.h"
#include "rules.h"
#include "state.h"

#include "validate.h"

#include <cstdio>

namespace {

// A class under the root class; `gap` and `ceilGap` the blanks after "class"
// and before "ceil".
void leafClass(const char *gap, const char *dev, int tree, int mark, int rate, const char *ceilGap, int ceil, int prio)
{
  vx_doCmd("tc class%sadd dev %s parent %d:1 classid %d:%d htb rate %dkbit%sceil %dkbit prio %d%s", gap, dev, tree,
           tree, mark, rate, ceilGap, ceil, prio, classBurst(ceil));
}

} // namespace

// The doubled and tripled blanks are part of the command texts: the router's
// scripts and people reading the echo compare them as they stand.
int QoS_add_default_qdisc(const char *dev, int handle, int ceil)
{
  vx_doCmd("tc qdisc  add dev %s root handle %d:0 %shtb", dev, handle, sizeTable(dev));
  vx_doCmd("tc class  add dev %s parent %d:   classid %d:1 htb rate %dkbit ceil %dkbit%s", dev, handle, handle, ceil,
           ceil, classBurst(ceil));
  const DefaultShares shares = defaultShares(ceil);
  leafClass("  ", dev, handle, kHighMark, shares.highRate, " ", shares.highCeil, 1);
  leafClass("  ", dev, handle, kLowMark, shares.lowRate, "  ", ceil, 4);
  // The queue handle is "1" followed by the mark, whatever the tree: queue
  // handles are per device, so the trees never collide.
  leafQdisc("  ", dev, handle, kHighMark, 5);
  leafQdisc("  ", dev, handle, kLowMark, 10);
  fwFilter(dev, handle, 1, kHighMark, " ", "  ");
  const int rc = fwFilter(dev, handle, 4, kLowMark, " ", "  ");
  // The fair mode's lowest class, for what the LAN marks CS1 and the small
  // UDP of a host beyond its budget.
  if (fairOn(kFairDscp | kFairFlows))
    addLeaf({dev, handle, kBulkMark, shares.bulkRate, ceil, 7, 4});
  return rc;
}

void addLeaf(const Leaf &l, const char *classGap, const char *qdiscGap, const char *filterGap)
{
  leafClass(classGap, l.dev, l.tree, l.mark, l.rate, " ", l.ceil, l.classPrio);
  leafQdisc(qdiscGap, l.dev, l.tree, l.mark, 10);
  fwFilter(l.dev, l.tree, l.filterPrio, l.mark, filterGap);
}

void plainLeaf(const char *dev, int tree, int mark, int speed)
{
  addLeaf({dev, tree, mark, 10, speed, 4, 4}, "  ", "  ");
}

int initQdisc()
{
  int rc = 0;
  if (WAN_IF != nullptr)
    rc = QoS_add_default_qdisc(WAN_IF, 1, UPLINK_SPEED);
  if (LAN_IF != nullptr)
    rc = QoS_add_default_qdisc(LAN_IF, 3, DOWNLINK_SPEED);
  if (WLAN_IF != nullptr)
    rc = QoS_add_default_qdisc(WLAN_IF, 5, DOWNLINK_SPEED);
  return rc;
}

namespace {

const char *orEmpty(const char *text)
{
  return text != nullptr ? text : "";
}

// The LAN exemptions: traffic between two LAN addresses and the router's own
// SSDP multicast stay unmarked. The store's values go into these lines as
// they stand (empty ones too); a value with anything but the characters of a
// dotted address never reaches the shell, and only the rules that would
// carry it are left out.
void lanExemptions()
{
  // The IPv6 LAN needs no prefix from the store. What is addressed to the
  // router from the LAN, what the router sends to the LAN, and what the
  // bridge passes between LAN ports (when it hands bridged IPv6 to
  // ip6tables) stay unmarked. The device keeps the router's own upstream
  // traffic, DNS among it, classified.
  char text[160];
  if (BR_IF != nullptr) {
    snprintf(text, sizeof text, "-i %s -m addrtype --dst-type LOCAL", BR_IF);
    issueRule({Family::Ipv6, "-t mangle -A PREROUTING ", nullptr, text}, "RETURN");
    snprintf(text, sizeof text, "-o %s -m addrtype --src-type LOCAL", BR_IF);
    issueRule({Family::Ipv6, "-t mangle -A POSTROUTING ", nullptr, text}, "RETURN");
    snprintf(text, sizeof text, "-i %s -o %s", BR_IF, BR_IF);
    issueRule({Family::Ipv6, "-t mangle -A FORWARD ", nullptr, text}, "RETURN");
  }
  // The rest name IPv4 addresses.
  const char *ip = orEmpty(LAN_IP);
  const char *mask = orEmpty(LAN_MASK);
  if (!is_address_chars(ip)) {
    printf("%sLAN exemption rules skipped: lan_ipaddr is not a dotted address\n", kVxTag);
    return;
  }
  if (is_address_chars(mask)) {
    snprintf(text, sizeof text, "-s %s/%s -d %s/%s", ip, mask, ip, mask);
    issueRule({Family::Ipv4, "-t mangle -A PREROUTING   ", nullptr, text}, "RETURN");
    issueRule({Family::Ipv4, "-t mangle -A POSTROUTING  ", nullptr, text}, "RETURN");
  } else {
    printf("%sLAN subnet rules skipped: lan_netmask is not a dotted mask\n", kVxTag);
  }
  snprintf(text, sizeof text, " -s %s -d 239.255.255.250 --dport 1900", ip);
  issueRule({Family::Ipv4, "-t mangle -A PREROUTING   ", "udp", text}, "RETURN");
  issueRule({Family::Ipv4, "-t mangle -A POSTROUTING  ", "udp", text}, "RETURN");
}

// Small TCP acknowledgements (lengths 0 to 128), connection openings, small
// ICMP packets and DNS queries go ahead of everything else.
constexpr char kSmallAck[] = " -m length --length :128 -m tcp --tcp-flags SYN,RST,ACK ACK";
constexpr char kSyn[] = " -m tcp --tcp-flags SYN,RST,ACK SYN";
constexpr char kSmall[] = " -m length --length :128";
constexpr Rule kAheadRules[] = {
    {Family::Both, "-t mangle -A FORWARD  ", "tcp", kSmallAck},
    {Family::Both, "-t mangle -A POSTROUTING  ", "tcp", kSmallAck},
    {Family::Both, "-t mangle -A FORWARD ", "tcp", kSyn},
    {Family::Both, "-t mangle -A POSTROUTING ", "tcp", kSyn},
    {Family::Both, "-t mangle -A FORWARD ", "icmp", kSmall},
    {Family::Both, "-t mangle -A POSTROUTING ", "icmp", kSmall},
    {Family::Both, "-t mangle -A POSTROUTING \t", "udp", " --dport 53"},
};

} // namespace

void initDefaultRule()
{
  printf("%sInit Default QoS Rules...\n", kVxTag);
  lanExemptions();
  for (const Rule &rule : kAheadRules)
    markPair(rule, kHighMark);
  char target[32];
  snprintf(target, sizeof target, "MARK --set-mark %d", kLowMark);
  issueRule({Family::Both, "-t mangle -A PREROUTING"}, target);
}
