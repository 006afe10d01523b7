// The batch text of a command line, and the lines no batch may carry.
#include "batch.h"

#include <gtest/gtest.h>

TEST(BatchLine, PlainLinesAndWhatCannotBeCarried)
{
  struct Case {
    const char *line;
    BatchKind kind;
    const char *text;
  } cases[] = {
      {"tc qdisc del dev ppp0   root 1>/dev/null 2>&1", BatchKind::TcQuiet, "qdisc del dev ppp0 root"},
      {"tc class  add dev br0 parent 3:   classid 3:1 htb rate 8192kbit ceil 8192kbit", BatchKind::Tc,
       "class add dev br0 parent 3: classid 3:1 htb rate 8192kbit ceil 8192kbit"},
      {"iptables -F -t mangle", BatchKind::Mangle, "-F"},
      {"iptables -t mangle -A POSTROUTING \t-p udp --dport 53 -j MARK --set-mark 2", BatchKind::Mangle,
       "-A POSTROUTING -p udp --dport 53 -j MARK --set-mark 2"},
      {"iptables -t mangle -N qos_bt_chain 1>/dev/null 2>&1", BatchKind::Mangle, "-N qos_bt_chain"},
      {"iptables -t mangle -A PREROUTING   -s / -d / -j RETURN", BatchKind::Mangle, "-A PREROUTING -s / -d / -j RETURN"},
      // quoted, expanded or redirected words would be read differently by the shell and the tools
      {"iptables -t mangle -A FORWARD -s '1.2.3.4 x' -j RETURN", BatchKind::None, ""},
      {"iptables -t mangle -A FORWARD -s \"1.2.3.4\" -j RETURN", BatchKind::None, ""},
      {"iptables -t mangle -A FORWARD -s 1.2.3.4\\ x -j RETURN", BatchKind::None, ""},
      {"tc qdisc add dev $(id) root htb", BatchKind::None, ""},
      {"tc qdisc add dev br0 root htb # comment", BatchKind::None, ""},
      {"tc qdisc add dev br0 root htb > /tmp/x", BatchKind::None, ""},
      {"tc qdisc add dev br0 root htb 2>/dev/null", BatchKind::None, ""},
      {"iptables -t mangle -A FORWARD -j RETURN; reboot", BatchKind::None, ""},
      // other tables, tools and tool options
      {"iptables -A FORWARD -j RETURN", BatchKind::None, ""},
      {"iptables -t nat -A POSTROUTING -j MASQUERADE", BatchKind::None, ""},
      {"iptables -t mangle -t nat -F", BatchKind::None, ""},
      {"iptables -tnat -t mangle -F", BatchKind::None, ""},
      {"iptables --table=nat -t mangle -F", BatchKind::None, ""},
      {"iptables -t mangle -L", BatchKind::None, ""},
      {"tc -s qdisc show", BatchKind::None, ""},
      {"ip link set br0 up", BatchKind::None, ""},
      {"", BatchKind::None, ""},
  };
  for (const Case &c : cases) {
    char out[1025] = "";
    EXPECT_EQ(batchLine(c.line, out, sizeof out), c.kind) << c.line;
    if (c.kind != BatchKind::None) {
      EXPECT_STREQ(out, c.text) << c.line;
    }
  }
  char small[8];
  EXPECT_EQ(batchLine("tc qdisc del dev br0 root", small, sizeof small), BatchKind::None);
}
