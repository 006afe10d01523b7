// The IPv6 mode: the twin of each line, the user rules that stay IPv4-only,
// and the mode turning itself off without its tool.
#include "qos_test.h"

#include "tempdir.h"
#include "user_rules.h"

#include <sys/stat.h>

TEST(Ipv6Twin, FiltersAtTheirOwnPriorities)
{
  const char *cases[][2] = {
      // The mangle twins are checked against the kernel's own tables.
      {"tc filter add dev eth2.2 parent 1:0 protocol ip prio 1  handle 2 fw classid 1:2",
       "tc filter add dev eth2.2 parent 1:0 protocol ipv6 prio 11  handle 2 fw classid 1:2"},
      {"tc filter  add dev br0 parent 3:0 protocol ip prio 6 handle 83 fw classid 3:83",
       "tc filter  add dev br0 parent 3:0 protocol ipv6 prio 16 handle 83 fw classid 3:83"},
      {"tc class add dev br0 parent 3:1 classid 3:83 htb rate 10kbit ceil 8192kbit prio 6", nullptr},
      {"ip6tables -t mangle -A FORWARD -i br0 -o br0 -j RETURN", nullptr},
  };
  for (const auto &c : cases) {
    char out[1025] = "";
    EXPECT_EQ(ipv6Twin(c[0], out, sizeof out), c[1] != nullptr) << c[0];
    EXPECT_STREQ(out, c[1] != nullptr ? c[1] : out);
  }
  char small[16];
  EXPECT_FALSE(ipv6Twin(cases[0][0], small, sizeof small));
}

// A user rule naming an address range, or ICMP, marks IPv4 only (one message
// each); the others mark both families. Without ip6tables the mode is off.
TEST_F(QosTest, Ipv6UserRulesAndTheMissingTool)
{
  TempDir bin;
  bin.write("ip6tables", "");
  chmod(bin.file("ip6tables").c_str(), 0755);
  const std::string path = getenv("PATH");
  setenv("PATH", bin.path(), 1);
  applyStart(ApplyMode::RunNow, false, Ipv6Mode::On);
  gatewayDevices();
  fake_nvram_load({
      {"QoSUserRules0", "1,1,Ssh,3,0,100,,,,,,,0,0,0.0.0.0,0.0.0.0,22,22,0.0.0.0,0.0.0.0,0,0"},
      {"QoSUserRules1", "1,1,Ping,1,1,20,,,,,,,2,1,0.0.0.0,0.0.0.0,0,0,0.0.0.0,0.0.0.0,1,1"},
      {"QoSUserRules2", "1,0,Nas,4,0,600,,,,,,,0,0,192.168.1.20,192.168.1.29,0,0,0.0.0.0,0.0.0.0,0,0"},
  });
  startOutput();
  startSetUserRule();
  const std::string out = output();
  EXPECT_EQ(out.find("user rule 0 marks IPv4 only"), std::string::npos);
  EXPECT_NE(out.find("vx_qos: user rule 1 marks IPv4 only (ICMP)\n"), std::string::npos);
  EXPECT_NE(out.find("vx_qos: user rule 2 marks IPv4 only (IPv4 addresses)\n"), std::string::npos);
  Lines v6;
  for (const std::string &line : commands()) {
    if (line.rfind("ip6tables", 0) == 0)
      v6.push_back(line);
  }
  EXPECT_EQ(v6, (Lines{"ip6tables -t mangle -A POSTROUTING -o eth2.2 -p tcp  --dport 22:22   -j MARK --set-mark 70",
                       "ip6tables -t mangle -A POSTROUTING -o eth2.2 -p tcp  --dport 22:22   -j RETURN"}));

  setenv("PATH", "/nonexistent", 1);
  startOutput();
  applyStart(ApplyMode::RunNow, false, Ipv6Mode::On);
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(output(), "vx_qos: IPv6 mode off: ip6tables not found\n");
  EXPECT_EQ(ipv6Mode(), Ipv6Mode::Off);
}
