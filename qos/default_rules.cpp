// The fixed rules at the head of the mangle table. Each MARK rule is followed
// at once by a RETURN rule with the same match, so the first classification
// that matches in a chain is final for that chain; PREROUTING ends with the
// unconditional low mark, which FORWARD and POSTROUTING rules then overwrite
// for the traffic they select.
#include "build.h"

#include "cmd.h"
#include "state.h"

#include "validate.h"

#include <cstdio>

namespace {

constexpr int kHighMark = 2;
constexpr int kLowMark = 4;
constexpr int kSmallPacket = 128; // bytes, lengths 0 to 128

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
  const char *ip = orEmpty(LAN_IP);
  const char *mask = orEmpty(LAN_MASK);
  if (!is_address_chars(ip)) {
    printf("%sLAN exemption rules skipped: lan_ipaddr is not a dotted address\n", kVxTag);
    return;
  }
  if (is_address_chars(mask)) {
    vx_doCmd("iptables -t mangle -A PREROUTING   -s %s/%s -d %s/%s -j RETURN", ip, mask, ip, mask);
    vx_doCmd("iptables -t mangle -A POSTROUTING  -s %s/%s -d %s/%s -j RETURN", ip, mask, ip, mask);
  } else {
    printf("%sLAN subnet rules skipped: lan_netmask is not a dotted mask\n", kVxTag);
  }
  vx_doCmd("iptables -t mangle -A PREROUTING   -p udp -s %s -d 239.255.255.250 --dport 1900 -j RETURN", ip);
  vx_doCmd("iptables -t mangle -A POSTROUTING  -p udp -s %s -d 239.255.255.250 --dport 1900 -j RETURN", ip);
}

} // namespace

void initDefaultRule()
{
  printf("%sInit Default QoS Rules...\n", kVxTag);
  lanExemptions();

  // Small TCP acknowledgements, connection openings, small ICMP packets and
  // DNS queries go ahead of everything else.
  vx_doCmd("iptables -t mangle -A FORWARD  -p tcp -m length --length :%d -m tcp --tcp-flags SYN,RST,ACK ACK -j MARK "
           "--set-mark %d",
           kSmallPacket, kHighMark);
  vx_doCmd("iptables -t mangle -A FORWARD  -p tcp -m length --length :%d -m tcp --tcp-flags SYN,RST,ACK ACK -j RETURN",
           kSmallPacket);
  vx_doCmd("iptables -t mangle -A POSTROUTING  -p tcp -m length --length :%d -m tcp --tcp-flags SYN,RST,ACK ACK "
           "-j MARK --set-mark %d",
           kSmallPacket, kHighMark);
  vx_doCmd("iptables -t mangle -A POSTROUTING  -p tcp -m length --length :%d -m tcp --tcp-flags SYN,RST,ACK ACK -j "
           "RETURN",
           kSmallPacket);
  vx_doCmd("iptables -t mangle -A FORWARD -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j MARK --set-mark %d", kHighMark);
  vx_doCmd("iptables -t mangle -A FORWARD -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j RETURN");
  vx_doCmd("iptables -t mangle -A POSTROUTING -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j MARK --set-mark %d",
           kHighMark);
  vx_doCmd("iptables -t mangle -A POSTROUTING -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j RETURN");
  vx_doCmd("iptables -t mangle -A FORWARD -p icmp -m length --length :%d -j MARK --set-mark %d", kSmallPacket,
           kHighMark);
  vx_doCmd("iptables -t mangle -A FORWARD -p icmp -m length --length :%d -j RETURN", kSmallPacket);
  vx_doCmd("iptables -t mangle -A POSTROUTING -p icmp -m length --length :%d -j MARK --set-mark %d", kSmallPacket,
           kHighMark);
  vx_doCmd("iptables -t mangle -A POSTROUTING -p icmp -m length --length :%d -j RETURN", kSmallPacket);
  vx_doCmd("iptables -t mangle -A POSTROUTING \t-p udp --dport 53 -j MARK --set-mark %d", kHighMark);
  vx_doCmd("iptables -t mangle -A POSTROUTING \t-p udp --dport 53 -j RETURN");
  vx_doCmd("iptables -t mangle -A PREROUTING -j MARK --set-mark %d", kLowMark);
}
