// The IPv6 mode: the filter twins, the user rules that stay IPv4-only, the
// mode turning itself off without its tool, and the marker of a cleared one.
#include "qos_test.h"

#include "rules.h"
#include "tempdir.h"
#include "user_rules.h"

#include <sys/stat.h>
#include <cstring>

namespace {

// A directory with an ip6tables on PATH, so that the mode stays on; PATH
// comes back with the directory's end.
struct Ip6tablesBin : TempDir {
  std::string saved = getenv("PATH");
  Ip6tablesBin()
  {
    write("ip6tables", "");
    chmod(file("ip6tables").c_str(), 0755);
    setenv("PATH", path(), 1);
  }
  ~Ip6tablesBin() { setenv("PATH", saved.c_str(), 1); }
};

} // namespace

// With the mode on, each filter has its IPv6 twin at its own priority.
TEST_F(QosTest, Ipv6FilterTwins)
{
  const Ip6tablesBin bin;
  applyStart(ApplyMode::RunNow, false, Ipv6Mode::On);
  fwFilter("eth2.2", 1, 1, 2, " ", "  ");
  fwFilter("br0", 3, 6, 83, "  ");
  EXPECT_EQ(commands(), (Lines{"tc filter add dev eth2.2 parent 1:0 protocol ip prio 1  handle 2 fw classid 1:2",
                               "tc filter add dev eth2.2 parent 1:0 protocol ipv6 prio 11  handle 2 fw classid 1:2",
                               "tc filter  add dev br0 parent 3:0 protocol ip prio 6 handle 83 fw classid 3:83",
                               "tc filter  add dev br0 parent 3:0 protocol ipv6 prio 16 handle 83 fw classid 3:83"}));
}

// A user rule naming an address range, or ICMP, marks IPv4 only (one message
// each); the others mark both families. Without ip6tables the mode is off.
TEST_F(QosTest, Ipv6UserRulesAndTheMissingTool)
{
  const Ip6tablesBin bin;
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
  EXPECT_EQ(output(), "vx_qos: IPv6 mode off: ip6tables not found\n");
  EXPECT_EQ(ipv6Mode(), Ipv6Mode::Off);
}

// Clearing an earlier run's IPv6 rules: the marker goes only once the flush
// took effect; a failed one (the xtables lock held) keeps it, saying so.
TEST_F(QosTest, Ipv6MarkerKeptAfterAFailedFlush)
{
  const Ip6tablesBin bin;
  for (const bool fails : {false, true}) {
    set_command_sink(fails ? +[](const char *line) {
      return record_command(line) + (strcmp(line, "ip6tables -F -t mangle") == 0 ? 4 : 0);
    }
                           : record_command);
    bin.write("vx_qos.ipv6", "");
    applyStart(ApplyMode::RunNow, false, Ipv6Mode::Clear);
    resetMangle();
    startOutput();
    settleIpv6Marker(bin.file("vx_qos.ipv6").c_str());
    EXPECT_EQ(output(), fails ? "vx_qos: IPv6 mangle table not flushed: " + bin.file("vx_qos.ipv6") +
                                    " kept for the next run\n"
                              : "");
    EXPECT_EQ(bin.exists("vx_qos.ipv6"), fails);
  }
}
