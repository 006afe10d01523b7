// The reconnect decisions, tick by tick, on a fake link and the recorder.
#include "link_fake.h"

#include "fake_nvram.h"
#include "tempdir.h"

#include <string>
#include <utility>
#include <vector>

using Lines = std::vector<std::string>;

namespace {

void loadAccounts()
{
  fake_nvram_load({
      {"SystemName", "router"},
      {"wan_pppoe_user", "pu"},
      {"wan_pppoe_pass", "pp"},
      {"wan_pppoe_opmode", "KeepAlive"},
      {"wan_pppoe_optime", "60"},
      {"wan_pptp_user", "tu"},
      {"wan_pptp_pass", "tp"},
      {"wan_pptp_server", "10.0.0.1"},
      {"wan_pptp_opmode", "OnDemand"},
      {"wan_pptp_optime", "5"},
      {"wan_pptp_ip", "10.1.1.2"},
      {"wan_pptp_netmask", "255.255.255.0"},
      {"wan_pptp_gateway", "10.1.1.1"},
      {"wan_l2tp_user", "lu"},
      {"wan_l2tp_pass", "lp"},
      {"wan_l2tp_server", "10.0.0.2"},
      {"wan_l2tp_opmode", "Manual"},
      {"wan_l2tp_optime", "30"},
      {"wan_l2tp_ip", "10.2.2.2"},
      {"wan_l2tp_netmask", "255.255.0.0"},
      {"wan_l2tp_gateway", "10.2.2.1"},
  });
}

Lines cat(std::initializer_list<Lines> parts)
{
  Lines all;
  for (const Lines &p : parts)
    all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Before a new pppd and after the old one is stopped, the session report says
// none: only the new pppd's ip-up can say it is up.
const char kNoSession[] = "write /etc/link: 0\n";
const Lines kPppoeG = {"killall -q pppd", "pppoe.sh 'pu' 'pp' 'eth2.2' 'KeepAlive' '60'", kNoSession,
                       "pppd file /etc/options.pppoe &"};
const Lines kPppoeW = {"killall -9 pppd", "pppoe.sh 'pu' 'pp' 'ra0' 'KeepAlive' '60'", kNoSession,
                       "pppd file /etc/options.pppoe &"};
const Lines kUdhcpcG = {"udhcpc -i eth2.2 -s /sbin/udhcpc.sh -p /var/run/udhcpc.pid -h 'router' &"};
const Lines kUdhcpcW = {"udhcpc -i ra0 -s /sbin/udhcpc.sh -p /var/run/udhcpc.pid -h 'router' &"};
const Lines kPptpDhcp = {"killall -q udhcpc", "killall -q pppd"};
const Lines kL2tpDhcp = {"killall -q udhcpc", "killall -q pppd", "killall -q l2tpd"};
Lines pptpStatic(const char *ifname)
{
  return {"killall -q pppd", std::string("ifconfig ") + ifname + " '10.1.1.2' netmask '255.255.255.0'",
          "route del default", "route add default gw '10.1.1.1'", "write /var/physical_wanIf_gw: 10.1.1.1\n"};
}
Lines l2tpStatic(const char *ifname)
{
  return {"killall -q pppd", "killall -q l2tpd", std::string("ifconfig ") + ifname + " '10.2.2.2' netmask '255.255.0.0'",
          "route del default", "route add default gw '10.2.2.1'", "write /var/physical_wanIf_gw: 10.2.2.1\n"};
}
const Lines kAccelPptp = {"accel-pptp.sh 'tu' 'tp' '10.0.0.1' 'OnDemand' '5'", kNoSession,
                          "pppd file /etc/options.pptp  &"};
const Lines kPptpScript = {"pptp.sh 'tu' 'tp' '10.0.0.1' 'OnDemand' '5'", kNoSession, "pppd file /etc/options.pptp  &"};
const Lines kL2tpScript = {"l2tp.sh 'lu' 'lp' '10.0.0.2' 'Manual' '30'", kNoSession, "l2tpd", "sleep 1",
                           "l2tp-control 'start-session 10.0.0.2'"};

// Every account loaded, in the operation mode and with the connection type.
void configure(const char *opMode, const char *type)
{
  loadAccounts();
  fake_nvram_set("OP_Mode", opMode);
  fake_nvram_set("wanConnectionMode", type);
}

// The link up at this tick and at the previous one, on the access point the
// watcher already knows.
void linkStaysUp()
{
  g_link.port = g_link.wisp = 1;
  g_link.ap = "00:00:00:00:00:00";
  lastStatus = 1;
}

// Records a command and shows it on standard output, so that the watcher's
// messages are seen in their place among its commands.
int showCommand(const char *line)
{
  record_command(line);
  printf("$ %s\n", line);
  return 0;
}

// What one tick prints, with its commands in place.
std::string transcriptOfTick()
{
  set_command_sink(showCommand);
  ::testing::internal::CaptureStdout();
  runTick(kFakeLink);
  std::string out = ::testing::internal::GetCapturedStdout();
  set_command_sink(record_command);
  return out;
}

std::string shown(const Lines &commands)
{
  std::string text;
  for (const std::string &line : commands) {
    // A file written whole is no command: it does not show.
    if (line.rfind("write ", 0) != 0)
      text += "$ " + line + "\n";
  }
  return text;
}

struct EdgeCase {
  const char *name;
  const char *opMode;
  const char *type;
  std::vector<std::pair<const char *, const char *>> extra;
  int last;
  int status;
  Lines commands;
};

} // namespace

TEST_F(TickTest, EveryRowOfTheGatewayAndWispTables)
{
  const std::vector<EdgeCase> cases = {
      // Gateway mode.
      {"G DHCP up", "0", "DHCP", {}, 0, 1, cat({{"killall -q udhcpc"}, kUdhcpcG})},
      {"G DHCP down", "0", "DHCP", {}, 1, 0, {"ifconfig eth2.2 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q udhcpc", "remove /var/physical_wanIf_gw"}},
      {"G DHCP steady up", "0", "DHCP", {}, 1, 1, {}},
      {"G PPPOE up", "0", "PPPOE", {}, 0, 1, kPppoeG},
      {"G PPPOE down", "0", "PPPOE", {}, 1, 0, {"ifconfig ppp0 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q pppd", "remove /var/physical_wanIf_gw", kNoSession}},
      {"G PPTP up by DHCP", "0", "PPTP", {{"wan_pptp_mode", "1"}}, 0, 1, cat({kPptpDhcp, kUdhcpcG, kAccelPptp})},
      {"G PPTP up static", "0", "PPTP", {{"wan_pptp_mode", "0"}}, 0, 1, cat({pptpStatic("eth2.2"), kAccelPptp})},
      {"G PPTP up other mode", "0", "PPTP", {{"wan_pptp_mode", "2"}}, 0, 1, kAccelPptp},
      {"G PPTP down by DHCP", "0", "PPTP", {{"wan_pptp_mode", "1"}}, 1, 0,
       {"ifconfig eth2.2 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q udhcpc", "killall -q pppd", "remove /var/physical_wanIf_gw", kNoSession}},
      {"G PPTP down other mode", "0", "PPTP", {{"wan_pptp_mode", ""}}, 1, 0,
       {"ifconfig eth2.2 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q pppd", "remove /var/physical_wanIf_gw", kNoSession}},
      {"G L2TP up by DHCP", "0", "L2TP", {{"wan_l2tp_mode", "1"}}, 0, 1, cat({kL2tpDhcp, kUdhcpcG, kL2tpScript})},
      {"G L2TP up static", "0", "L2TP", {{"wan_l2tp_mode", "0"}}, 0, 1, cat({l2tpStatic("eth2.2"), kL2tpScript})},
      {"G L2TP up other mode", "0", "L2TP", {}, 0, 1, kL2tpScript},
      {"G L2TP down by DHCP", "0", "L2TP", {{"wan_l2tp_mode", "1"}}, 1, 0,
       {"ifconfig eth2.2 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q udhcpc", "killall -q pppd", "killall -q l2tpd", "remove /var/physical_wanIf_gw", kNoSession}},
      {"G L2TP down static", "0", "L2TP", {{"wan_l2tp_mode", "0"}}, 1, 0,
       {"ifconfig eth2.2 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q pppd", "killall -q l2tpd", "remove /var/physical_wanIf_gw", kNoSession}},
      {"G L2TP steady up", "0", "L2TP", {}, 1, 1, {}},
      // WISP mode (the DHCP row's access point is already known).
      {"W DHCP up", "6", "DHCP", {}, 0, 1, cat({{"killall -q udhcpc", "ifconfig ra0 0.0.0.0"}, kUdhcpcW})},
      {"W DHCP down radio on", "6", "DHCP", {{"RadioOff", "0"}}, 1, 0,
       {"ifconfig ra0 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q udhcpc", "remove /var/physical_wanIf_gw"}},
      {"W DHCP down radio off", "6", "DHCP", {{"RadioOff", "1"}}, 1, 0, {"rm -f /var/physical_wanIf_gw", "killall -q udhcpc", "remove /var/physical_wanIf_gw"}},
      {"W DHCP steady up", "6", "DHCP", {}, 1, 1, {}},
      {"W PPPOE up", "6", "PPPOE", {}, 0, 1, kPppoeW},
      {"W PPPOE down", "6", "PPPOE", {{"RadioOff", "1"}, {"wan_ipv6_proto", "3"}, {"pppoev6_session", "1"}}, 1, 0,
       {"ifconfig ppp0 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q pppd", "remove /var/physical_wanIf_gw", kNoSession}},
      {"W PPPOE steady up", "6", "PPPOE", {}, 1, 1, {}},
      {"W PPTP up by DHCP", "6", "PPTP", {{"wan_pptp_mode", "1"}}, 0, 1, cat({kPptpDhcp, kUdhcpcW, kPptpScript})},
      {"W PPTP up static", "6", "PPTP", {{"wan_pptp_mode", "0"}}, 0, 1, cat({pptpStatic("ra0"), kPptpScript})},
      {"W PPTP down radio on", "6", "PPTP", {{"wan_pptp_mode", "1"}, {"RadioOff", "0"}}, 1, 0,
       {"ifconfig ra0 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q udhcpc", "killall -q pppd", "remove /var/physical_wanIf_gw", kNoSession}},
      {"W PPTP down radio absent", "6", "PPTP", {{"wan_pptp_mode", "0"}}, 1, 0, {"rm -f /var/physical_wanIf_gw", "killall -q pppd", "remove /var/physical_wanIf_gw", kNoSession}},
      {"W L2TP up by DHCP", "6", "L2TP", {{"wan_l2tp_mode", "1"}}, 0, 1, cat({kL2tpDhcp, kUdhcpcW, kL2tpScript})},
      {"W L2TP up static", "6", "L2TP", {{"wan_l2tp_mode", "0"}}, 0, 1, cat({l2tpStatic("ra0"), kL2tpScript})},
      {"W L2TP down radio on", "6", "L2TP", {{"wan_l2tp_mode", "1"}, {"RadioOff", "0"}}, 1, 0,
       {"ifconfig ra0 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q udhcpc", "killall -q pppd", "killall -q l2tpd", "remove /var/physical_wanIf_gw", kNoSession}},
      {"W L2TP down radio off", "6", "L2TP", {{"RadioOff", "00"}}, 1, 0,
       {"rm -f /var/physical_wanIf_gw", "killall -q pppd", "killall -q l2tpd", "remove /var/physical_wanIf_gw", kNoSession}},
      {"W L2TP steady up", "6", "L2TP", {}, 1, 1, {}},
      // Types the watcher does not know: no command, in either mode.
      {"G unknown up", "0", "STATIC", {}, 0, 1, {}},
      {"G empty down", "0", "", {}, 1, 0, {}},
      {"W lower-case up", "6", "dhcp", {}, 0, 1, {}},
  };
  for (const EdgeCase &c : cases) {
    SCOPED_TRACE(c.name);
    configure(c.opMode, c.type);
    for (const auto &kv : c.extra)
      fake_nvram_set(kv.first, kv.second);
    resetWatcher();
    g_link.port = g_link.wisp = c.status;
    g_link.ap = "00:00:00:00:00:00"; // no change of access point
    g_link.ppp = 1;
    lastStatus = c.last;
    EXPECT_EQ(ticks(), c.commands);
    EXPECT_EQ(lastStatus, c.status);
    EXPECT_EQ(g_link.probes, 1);

    // Steady down never acts.
    lastStatus = 0;
    g_link.port = g_link.wisp = 0;
    EXPECT_EQ(ticks(), Lines{});
  }
}

TEST_F(TickTest, GatewayDhcpStartNamesTheHost)
{
  configure("0", "DHCP");
  g_link.port = 1;
  EXPECT_EQ(transcriptOfTick(), "1111The SystemName is router \n" + shown(cat({{"killall -q udhcpc"}, kUdhcpcG})));
  // The WISP start reads the name but says nothing.
  fake_nvram_set("OP_Mode", "6");
  g_link.wisp = 1;
  g_link.ap = "00:11:22:33:44:55";
  lastStatus = 0;
  EXPECT_EQ(transcriptOfTick(), shown(cat({{"killall -q udhcpc", "ifconfig ra0 0.0.0.0"}, kUdhcpcW})));
}

TEST_F(TickTest, RedialOnTheTickAfterTheThresholdThenEveryThresholdTicks)
{
  // PPPoE: the 141st steady-up tick without a session, then every 140th;
  // PPTP: the 5th, then every 4th.
  struct Case {
    const char *type;
    int threshold;
    Lines connect;
    std::string afterConnect;
  } cases[] = {
      {"PPPOE", 140, kPppoeG, " killall -q pppd & pppd\n"},
      {"PPTP", 4, kAccelPptp, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.type);
    resetWatcher();
    configure("0", c.type);
    linkStaysUp();
    EXPECT_EQ(ticks(c.threshold), Lines{});
    EXPECT_EQ(transcriptOfTick(), shown(c.connect) + c.afterConnect);
    EXPECT_EQ(ticks(c.threshold - 1), Lines{});
    EXPECT_EQ(ticks(), c.connect);

    // A tick that sees the session, even the one the redial was due on,
    // starts the count again.
    EXPECT_EQ(ticks(c.threshold - 1), Lines{});
    g_link.ppp = 1;
    EXPECT_EQ(ticks(), Lines{});
    EXPECT_EQ(pcount, 0);
    g_link.ppp = 0;
    EXPECT_EQ(ticks(c.threshold), Lines{});
    EXPECT_EQ(ticks(), c.connect);
  }
}

TEST_F(TickTest, EdgesLeaveTheRedialCountAlone)
{
  configure("0", "PPTP");
  linkStaysUp();
  ticks(3);
  g_link.port = 0;
  ticks(2); // down edge, steady down
  g_link.port = 1;
  EXPECT_EQ(ticks(), kAccelPptp); // up edge
  EXPECT_EQ(pcount, 3);
  EXPECT_EQ(ticks(), Lines{});
  EXPECT_EQ(ticks(), kAccelPptp); // the count of 4 reached before the drop
}

TEST_F(TickTest, OneCountForBothTypes)
{
  configure("0", "PPPOE");
  linkStaysUp();
  ticks(10);
  // Changed to PPTP with the count above its threshold: no redial until a
  // tick sees a session.
  fake_nvram_set("wanConnectionMode", "PPTP");
  EXPECT_EQ(ticks(200), Lines{});
  g_link.ppp = 1;
  ticks();
  g_link.ppp = 0;
  EXPECT_EQ(ticks(4), Lines{});
  EXPECT_EQ(ticks(), kAccelPptp);
}

TEST_F(TickTest, NoRedialForL2tpOrInWispMode)
{
  const std::pair<const char *, const char *> rows[] = {{"0", "L2TP"}, {"0", "DHCP"}, {"6", "PPPOE"}, {"6", "PPTP"}, {"6", "L2TP"}};
  for (const auto &row : rows) {
    SCOPED_TRACE(std::string(row.first) + " " + row.second);
    configure(row.first, row.second);
    resetWatcher();
    linkStaysUp();
    EXPECT_EQ(ticks(300), Lines{});
    EXPECT_EQ(g_link.pppChecks, 0);
  }
}

TEST_F(TickTest, WispDhcpFollowsTheAccessPoint)
{
  configure("6", "DHCP");
  const Lines start = cat({{"killall -q udhcpc", "ifconfig ra0 0.0.0.0"}, kUdhcpcW});
  // Up at start: seeded 1, but no client started for this access point yet.
  g_link.wisp = 1;
  g_link.ap = "00:11:22:33:44:55";
  lastStatus = 1;
  EXPECT_EQ(ticks(), start);
  EXPECT_STREQ(current_wisp_essid, "00:11:22:33:44:55");
  EXPECT_EQ(ticks(3), Lines{});
  // Another access point: a new lease.
  g_link.ap = "66:77:88:99:aa:bb";
  EXPECT_EQ(ticks(), start);
  EXPECT_EQ(lastStatus, 1);
  EXPECT_EQ(ticks(), Lines{});
  // Down and back on the same access point: teardown, then one start.
  g_link.wisp = 0;
  EXPECT_EQ(ticks(), (Lines{"rm -f /var/physical_wanIf_gw", "killall -q udhcpc", "remove /var/physical_wanIf_gw"}));
  g_link.wisp = 1;
  EXPECT_EQ(ticks(), start);
}

TEST_F(TickTest, WispTunnelsIgnoreAChangeOfAccessPoint)
{
  for (const char *type : {"PPPOE", "PPTP", "L2TP"}) {
    SCOPED_TRACE(type);
    configure("6", type);
    resetWatcher();
    linkStaysUp();
    g_link.ap = "00:11:22:33:44:55";
    EXPECT_EQ(ticks(), Lines{});
    g_link.ap = "66:77:88:99:aa:bb";
    EXPECT_EQ(ticks(), Lines{});
    EXPECT_STREQ(current_wisp_essid, "00:00:00:00:00:00");
  }
}

TEST_F(TickTest, Ipv6ClientEndsWithAGatewayPppoeSession)
{
  struct Case {
    const char *proto;
    const char *session;
    bool stops;
  } cases[] = {{"3", "1", true}, {"31", "1", false}, {"", "1", false}, {"3", "10", false}, {"3", "", false}, {"1", "3", false}};
  const Lines down = {"ifconfig ppp0 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q pppd", "remove /var/physical_wanIf_gw", kNoSession};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.proto) + "/" + c.session);
    configure("0", "PPPOE");
    fake_nvram_set("wan_ipv6_proto", c.proto);
    fake_nvram_set("pppoev6_session", c.session);
    lastStatus = 1;
    g_link.port = 0;
    EXPECT_EQ(ticks(), c.stops ? cat({down, {"sleep 5", "killall -q dhcp6c"}}) : down);
  }
}

TEST_F(TickTest, PppoeTeardownReleasesTheReportedInterface)
{
  TempDir dir;
  dir.write("link", "1 ppp1\n");
  const std::string report = dir.file("link");
  set_ppp_report(report.c_str());
  configure("0", "PPPOE");
  lastStatus = 1;
  g_link.port = 0;
  EXPECT_EQ(ticks(), (Lines{"ifconfig 'ppp1' 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q pppd",
                            "remove /var/physical_wanIf_gw", "write " + report + ": 0\n"}));
}

TEST_F(TickTest, LanGatewayModeRewritesTheGatewayFileEveryTick)
{
  fake_nvram_load({{"OP_Mode", "1"}, {"wanConnectionMode", "DHCP"}, {"lan_gateway", "192.168.1.254"}});
  lastStatus = 1;
  const Lines once = {"write /var/physical_wanIf_gw: 192.168.1.254\n"};
  EXPECT_EQ(ticks(), once);
  EXPECT_EQ(ticks(), once);
  EXPECT_EQ(g_link.probes, 0);
  EXPECT_EQ(lastStatus, 0);
  // The value as it stands, also one an echo would take as its option.
  for (const char *value : {"", "-n", "a\\c b"}) {
    fake_nvram_set("lan_gateway", value);
    EXPECT_EQ(ticks(), (Lines{std::string("write /var/physical_wanIf_gw: ") + value + "\n"}));
  }
}

TEST_F(TickTest, OtherModesOnlyReadTheSettings)
{
  configure("", "DHCP");
  g_link.port = g_link.wisp = 1;
  for (const char *mode : {"", "2", "00", "6 "}) {
    SCOPED_TRACE(mode);
    fake_nvram_set("OP_Mode", mode);
    lastStatus = 1;
    EXPECT_EQ(ticks(), Lines{});
    EXPECT_EQ(g_link.probes, 0);
    EXPECT_EQ(lastStatus, 0);
  }
  // Switched to gateway mode with the link up: the connection is made.
  fake_nvram_set("OP_Mode", "0");
  EXPECT_EQ(ticks(), cat({{"killall -q udhcpc"}, kUdhcpcG}));
}

TEST_F(TickTest, ASettingsChangeIsNoEdge)
{
  configure("0", "none");
  g_link.port = 1;
  EXPECT_EQ(ticks(), Lines{});
  EXPECT_EQ(lastStatus, 1);
  fake_nvram_set("wanConnectionMode", "DHCP");
  EXPECT_EQ(ticks(3), Lines{});
  g_link.port = 0;
  ticks();
  g_link.port = 1;
  EXPECT_EQ(ticks(), cat({{"killall -q udhcpc"}, kUdhcpcG}));
}

TEST_F(TickTest, ARestartWaitsForTheOldDaemonThenKillsIt)
{
  struct Case {
    const char *name;
    const char *opMode;
    const char *type;
    std::vector<std::pair<const char *, FakeDaemon>> daemons;
    Lines commands;
    int elapsedMs;
  };
  const Lines staticL2tp = l2tpStatic("ra0");
  const std::vector<Case> cases = {
      {"udhcpc gone before the new client", "0", "DHCP", {{"udhcpc", {300, 0}}},
       cat({{"killall -q udhcpc", "[udhcpc exited at 300 ms]"}, kUdhcpcG}), 300},
      {"pppd still terminating", "0", "PPTP", {{"pppd", {1500, 0}}, {"udhcpc", {20, 0}}},
       cat({kPptpDhcp, {"[udhcpc exited at 20 ms]", "[pppd exited at 1500 ms]"}, kUdhcpcG, kAccelPptp}), 1500},
      {"pppd on a dead link", "0", "PPTP", {{"pppd", {6000, 40}}},
       cat({kPptpDhcp, {"[SIGKILL pppd]", "[pppd exited at 2040 ms]"}, kUdhcpcG, kAccelPptp}), 2040},
      {"pppd that outlives SIGKILL", "0", "PPPOE", {{"pppd", {-1, -1}}},
       {"killall -q pppd", "[SIGKILL pppd]", kPppoeG[1], kPppoeG[2], kPppoeG[3]}, 3000},
      {"pppd and l2tpd side by side", "6", "L2TP", {{"pppd", {500, 0}}, {"l2tpd", {600, 0}}},
       cat({{"killall -q pppd", "killall -q l2tpd", "[pppd exited at 500 ms]", "[l2tpd exited at 600 ms]"},
            Lines(staticL2tp.begin() + 2, staticL2tp.end()), kL2tpScript}),
       600},
      {"WISP PPPoE after SIGKILL", "6", "PPPOE", {{"pppd", {20, 0}}},
       cat({{kPppoeW[0], "[pppd exited at 20 ms]"}, {kPppoeW[1], kPppoeW[2], kPppoeW[3]}}), 20},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    configure(c.opMode, c.type);
    fake_nvram_set("wan_pptp_mode", "1");
    fake_nvram_set("wan_l2tp_mode", "0");
    resetWatcher();
    g_processes = FakeProcesses{};
    for (const auto &d : c.daemons)
      g_processes.running[d.first] = d.second;
    g_link.port = g_link.wisp = 1;
    g_link.ap = "00:00:00:00:00:00";
    EXPECT_EQ(ticks(), c.commands);
    EXPECT_EQ(g_processes.clockMs, c.elapsedMs);
  }
}

// A lease or a session being set up as the link goes: its script may still
// write the gateway after the teardown's rm, so the file goes again once the
// daemons (which wait for their scripts) have exited, or after 2 s.
TEST_F(TickTest, ATeardownForgetsTheGatewayOnceItsDaemonsHaveGone)
{
  struct Case {
    const char *type;
    std::vector<std::pair<const char *, FakeDaemon>> daemons;
    Lines commands;
    int elapsedMs;
  };
  const std::vector<Case> cases = {
      {"DHCP", {{"udhcpc", {300, 0}}},
       {"ifconfig eth2.2 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q udhcpc", "[udhcpc exited at 300 ms]",
        "remove /var/physical_wanIf_gw"},
       300},
      {"PPPOE", {{"pppd", {6000, 0}}},
       {"ifconfig ppp0 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q pppd", "remove /var/physical_wanIf_gw", kNoSession},
       2000},
      {"PPTP", {{"pppd", {100, 0}}, {"udhcpc", {200, 0}}},
       {"ifconfig eth2.2 0.0.0.0", "rm -f /var/physical_wanIf_gw", "killall -q udhcpc", "killall -q pppd",
        "[pppd exited at 100 ms]", "[udhcpc exited at 200 ms]", "remove /var/physical_wanIf_gw", kNoSession},
       200},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.type);
    configure("0", c.type);
    fake_nvram_set("wan_pptp_mode", "1");
    resetWatcher();
    g_processes = FakeProcesses{};
    for (const auto &d : c.daemons)
      g_processes.running[d.first] = d.second;
    lastStatus = 1;
    g_link.port = 0;
    EXPECT_EQ(ticks(), c.commands);
    EXPECT_EQ(g_processes.clockMs, c.elapsedMs);
  }
}
