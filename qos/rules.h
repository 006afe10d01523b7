// The rules of a build in their parts, each stating its address families.
// A family's line follows from the parts: the tool, the protocol's name (ICMP
// is ICMPv6 in IPv6) and, for an fw filter, its protocol and priority. IPv6
// lines are issued in the IPv6 mode alone (ipv6.h), all through vx_doCmd.
#pragma once

enum class Family : unsigned char {
  Ipv4 = 1,
  Ipv6 = 2,
  Both = 3,
};

// One iptables rule: "<tool> <head>[-p <protocol>]<matches>[ -j <target>]".
struct Rule {
  Family family;
  const char *head;               // "-t mangle -A FORWARD ", with the blanks it is issued with
  const char *protocol = nullptr; // "tcp", "udp", "icmp" or a protocol number; none when null
  const char *matches = "";       // what follows the protocol match
};

// Issues the rule's line for each of its families, IPv4's first (without
// "-j" for a null target); returns the IPv4 line's status (0 without one).
int issueRule(const Rule &rule, const char *target = nullptr);
// The rule with "-j MARK --set-mark <mark>", then with "-j RETURN": the
// first classification that matches in a chain is final for that chain.
void markPair(const Rule &rule, int mark);

// The reset of the mangle table: -F, -X and -Z, each for IPv4, then for IPv6
// in the IPv6 mode and when the mode is off but an earlier run's IPv6 rules
// are to be cleared.
void resetMangle();
// Once the batches are applied after a reset that cleared an earlier run's
// IPv6 rules: removes the marker file once IPv6's flush took effect. After a
// failed one (a held xtables lock, say) it stays, so that the next run with
// the mode off tries again, and one line says so.
void settleIpv6Marker(const char *marker);

// The fw filter on `dev` that sends mark `mark` to class tree:mark: "tc
// filter<gap>add dev D parent T:0 protocol ip prio P<gap2>handle M fw classid
// T:M", then IPv6's "protocol ipv6" at prio 10 + P (the kernel keeps one
// protocol per priority). Returns the IPv4 line's status.
int fwFilter(const char *dev, int tree, int prio, int mark, const char *gap = " ", const char *gap2 = " ");
