// Shaping trees and the default classification: exact command texts.
#include "qos_test.h"

#include "state.h"
#include "trees.h"

namespace {

using QosTrees = QosTest;

Lines tree(const std::string &dev, const std::string &h, const std::string &speed)
{
  return {
      "tc qdisc  add dev " + dev + " root handle " + h + ":0 htb",
      "tc class  add dev " + dev + " parent " + h + ":   classid " + h + ":1 htb rate " + speed + "kbit ceil " + speed +
          "kbit",
      "tc class  add dev " + dev + " parent " + h + ":1 classid " + h + ":2 htb rate 10kbit ceil " + speed +
          "kbit prio 1",
      "tc class  add dev " + dev + " parent " + h + ":1 classid " + h + ":4 htb rate 10kbit  ceil " + speed +
          "kbit prio 4",
      "tc qdisc  add dev " + dev + " parent " + h + ":2 handle 12: sfq perturb 5",
      "tc qdisc  add dev " + dev + " parent " + h + ":4 handle 14: sfq perturb 10",
      "tc filter add dev " + dev + " parent " + h + ":0 protocol ip prio 1  handle 2 fw classid " + h + ":2",
      "tc filter add dev " + dev + " parent " + h + ":0 protocol ip prio 4  handle 4 fw classid " + h + ":4",
  };
}

Lines operator+(Lines a, const Lines &b)
{
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Lines kLanExemptions = {
    "iptables -t mangle -A PREROUTING   -s 192.168.1.1/255.255.255.0 -d 192.168.1.1/255.255.255.0 -j RETURN",
    "iptables -t mangle -A POSTROUTING  -s 192.168.1.1/255.255.255.0 -d 192.168.1.1/255.255.255.0 -j RETURN",
    "iptables -t mangle -A PREROUTING   -p udp -s 192.168.1.1 -d 239.255.255.250 --dport 1900 -j RETURN",
    "iptables -t mangle -A POSTROUTING  -p udp -s 192.168.1.1 -d 239.255.255.250 --dport 1900 -j RETURN",
};

const Lines kFixedDefaults = {
    "iptables -t mangle -A FORWARD  -p tcp -m length --length :128 -m tcp --tcp-flags SYN,RST,ACK ACK -j MARK "
    "--set-mark 2",
    "iptables -t mangle -A FORWARD  -p tcp -m length --length :128 -m tcp --tcp-flags SYN,RST,ACK ACK -j RETURN",
    "iptables -t mangle -A POSTROUTING  -p tcp -m length --length :128 -m tcp --tcp-flags SYN,RST,ACK ACK -j MARK "
    "--set-mark 2",
    "iptables -t mangle -A POSTROUTING  -p tcp -m length --length :128 -m tcp --tcp-flags SYN,RST,ACK ACK -j RETURN",
    "iptables -t mangle -A FORWARD -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j MARK --set-mark 2",
    "iptables -t mangle -A FORWARD -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j RETURN",
    "iptables -t mangle -A POSTROUTING -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j MARK --set-mark 2",
    "iptables -t mangle -A POSTROUTING -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j RETURN",
    "iptables -t mangle -A FORWARD -p icmp -m length --length :128 -j MARK --set-mark 2",
    "iptables -t mangle -A FORWARD -p icmp -m length --length :128 -j RETURN",
    "iptables -t mangle -A POSTROUTING -p icmp -m length --length :128 -j MARK --set-mark 2",
    "iptables -t mangle -A POSTROUTING -p icmp -m length --length :128 -j RETURN",
    "iptables -t mangle -A POSTROUTING \t-p udp --dport 53 -j MARK --set-mark 2",
    "iptables -t mangle -A POSTROUTING \t-p udp --dport 53 -j RETURN",
    "iptables -t mangle -A PREROUTING -j MARK --set-mark 4",
};



TEST_F(QosTrees, OneTreePerPresentDeviceInPlanOrder)
{
  struct Case {
    const char *wan, *lan, *wlan;
    Lines expected;
  } cases[] = {
      {"eth2.2", "br0", nullptr, tree("eth2.2", "1", "2048") + tree("br0", "3", "8192")},
      {"ppp0", "eth2", "ra0", tree("ppp0", "1", "2048") + tree("eth2", "3", "8192") + tree("ra0", "5", "8192")},
      {"br0", nullptr, nullptr, tree("br0", "1", "2048")},
      {nullptr, nullptr, nullptr, {}},
  };
  for (const Case &c : cases) {
    recorded_commands().clear();
    WAN_IF = c.wan;
    LAN_IF = c.lan;
    WLAN_IF = c.wlan;
    UPLINK_SPEED = 2048;
    DOWNLINK_SPEED = 8192;
    initQdisc();
    EXPECT_EQ(commands(), c.expected) << (c.wan ? c.wan : "none");
  }
}

TEST_F(QosTrees, DefaultRulesInOrderWithTheirBlanksAndTab)
{
  LAN_IP = "192.168.1.1";
  LAN_MASK = "255.255.255.0";
  setCmdLevel(1);
  startOutput();
  initDefaultRule();
  std::string echo = output();
  const Lines expected = kLanExemptions + kFixedDefaults;
  EXPECT_EQ(commands(), expected);
  std::string expectedEcho = "vx_qos: Init Default QoS Rules...\n";
  for (const std::string &line : expected)
    expectedEcho += line + "\n";
  EXPECT_EQ(echo, expectedEcho);
}

// The store's LAN address and mask go into the exemptions unchanged when they
// are empty or made of address characters; anything else never reaches the
// shell, and only the rules that would carry it are left out, with one message.
TEST_F(QosTrees, LanAddressReachesTheShellOnlyWhenItLooksLikeOne)
{
  struct Case {
    const char *ip, *mask;
    size_t lanRules;
    const char *message;
  } cases[] = {
      {"", "", 4, ""},
      {nullptr, nullptr, 4, ""},
      {"10.0.0.1", "255.0.0.0", 4, ""},
      {"10.0.0.1;reboot", "255.0.0.0", 0, "vx_qos: LAN exemption rules skipped: lan_ipaddr is not a dotted address\n"},
      {"10.0.0.1 ", "", 0, "vx_qos: LAN exemption rules skipped: lan_ipaddr is not a dotted address\n"},
      {"$(reboot)", "$(reboot)", 0, "vx_qos: LAN exemption rules skipped: lan_ipaddr is not a dotted address\n"},
      {"10.0.0.1", "255.0.0.0`x`", 2, "vx_qos: LAN subnet rules skipped: lan_netmask is not a dotted mask\n"},
  };
  for (const Case &c : cases) {
    recorded_commands().clear();
    LAN_IP = c.ip;
    LAN_MASK = c.mask;
    startOutput();
    initDefaultRule();
    EXPECT_EQ(output(), std::string("vx_qos: Init Default QoS Rules...\n") + c.message) << (c.ip ? c.ip : "null");
    ASSERT_EQ(commands().size(), c.lanRules + kFixedDefaults.size());
    EXPECT_EQ(Lines(commands().end() - 15, commands().end()), kFixedDefaults);
    const std::string ip = c.ip ? c.ip : "", mask = c.mask ? c.mask : "";
    if (c.lanRules == 4) {
      EXPECT_EQ(commands()[0], "iptables -t mangle -A PREROUTING   -s " + ip + "/" + mask + " -d " + ip + "/" + mask +
                                   " -j RETURN");
    }
    if (c.lanRules == 2) {
      EXPECT_EQ(commands()[1],
                "iptables -t mangle -A POSTROUTING  -p udp -s " + ip + " -d 239.255.255.250 --dport 1900 -j RETURN");
    }
  }
}

// The line's own bytes: the root qdisc's size table for the tree's device
// (the PPP session's interface has no Ethernet header), ptm's coding off
// both speeds, and what cannot be taken said and ignored.
TEST_F(QosTrees, TheLinesOverheadIsASizeTableOnTheRoot)
{
  struct Case {
    const char *overhead, *layer;
    bool ppp;
    const char *table, *said;
    int up;
  } cases[] = {
      {"", "", false, "", "", 2048},
      {"40", "atm", false, "stab overhead 26 linklayer atm mpu 0 ", "", 2048},
      {"40", "atm", true, "stab overhead 40 linklayer atm mpu 0 ", "", 2048},
      {"38", "ethernet", false, "stab overhead 24 linklayer ethernet mpu 84 ", "", 2048},
      {"18", "", false, "stab overhead 4 linklayer ethernet mpu 64 ", "", 2048},
      {"", "ptm", false, "stab overhead -14 linklayer ethernet mpu 0 ", "", 2016},
      {"257", "atm", false, "stab overhead -14 linklayer atm mpu 0 ", "vx_qos: VX_QoSOverhead is not 0 to 256: ignored\n",
       2048},
      {"4o", "adsl", false, "", "vx_qos: VX_QoSOverhead is not 0 to 256: ignored\n"
                                "vx_qos: VX_QoSLinkLayer is not ethernet, atm or ptm: ignored\n", 2048},
  };
  for (const Case &c : cases) {
    fake_nvram_load({{"wanConnectionMode", c.ppp ? "PPPOE" : "DHCP"}, {"OperationMode", "1"},
                     {"VX_QoSUploadBw", "2048"}, {"VX_QoSOverhead", c.overhead}, {"VX_QoSLinkLayer", c.layer}});
    const char *dev = getWanIfNamePPP();
    startOutput();
    initSpeed();
    recorded_commands().clear();
    QoS_add_default_qdisc(dev, 1, UPLINK_SPEED);
    EXPECT_EQ(commands().at(0), std::string("tc qdisc  add dev ") + dev + " root handle 1:0 " + c.table + "htb")
        << c.overhead << c.layer;
    EXPECT_EQ(UPLINK_SPEED, c.up) << c.layer;
    EXPECT_EQ(output(), std::string(c.said) + "vx_qos: UPLINK_SPEED=" + std::to_string(c.up) +
                            "\nvx_qos: DOWNLINK_SPEED=0\n")
        << c.overhead << c.layer;
  }
}

} // namespace
