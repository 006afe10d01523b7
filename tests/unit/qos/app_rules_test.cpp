// Application rule entries: the field cursor, the leaves, the category slots
// and the exact commands of a build.
#include "qos_test.h"

#include "app_rules.h"
#include "tempdir.h"


TEST(AppEntry, FieldCursorTakesThreeFieldsForRateKindsZeroAndOneElseTwo)
{
  struct Case {
    const char *text;
    int directions;
    int level, enable;
    DirectionSetting want[4];
  } cases[] = {
      {"1,1,1,1,500,1,0,300", 2, 1, 1, {{1, 1, 500}, {1, 0, 300}}},
      // rate kind 2 reads no value: direction 1 starts at field 4
      {"0,1,1,2,1,0,300", 2, 0, 1, {{1, 2, 0}, {1, 0, 300}}},
      {"2,1,1,0,100,0,1,200,1,1,300,1,0,400", 4, 2, 1, {{1, 0, 100}, {0, 1, 200}, {1, 1, 300}, {1, 0, 400}}},
      {"2,1,1,3,0,7,1,1,300,1,0,400", 4, 2, 1, {{1, 3, 0}, {0, 7, 0}, {1, 1, 300}, {1, 0, 400}}},
      // values below 10, empty or missing become 10
      {"0,1,1,1,5,1,0,", 2, 0, 1, {{1, 1, 10}, {1, 0, 10}}},
      {"0,1", 2, 0, 1, {{0, 0, 10}, {0, 0, 10}}},
      {"", 2, 0, 0, {{0, 0, 10}, {0, 0, 10}}},
      // fields keep 2 characters, rate values 7
      {"123,1x,1,1,12345678,19,0,300", 2, 12, 1, {{1, 1, 1234567}, {19, 0, 300}}},
  };
  for (const Case &c : cases) {
    AppEntry e;
    readAppEntry(c.text, c.directions, e);
    EXPECT_EQ(e.level, c.level) << c.text;
    EXPECT_EQ(e.enable, c.enable) << c.text;
    for (int d = 0; d < c.directions; ++d) {
      EXPECT_EQ(e.directions[d].enable, c.want[d].enable) << c.text << " dir " << d;
      EXPECT_EQ(e.directions[d].kind, c.want[d].kind) << c.text << " dir " << d;
      EXPECT_EQ(e.directions[d].value, c.want[d].value) << c.text << " dir " << d;
    }
  }
}

TEST(AppEntry, LeafFromDirectionLevelAndLinkSpeed)
{
  struct Case {
    DirectionSetting dir;
    int level, speed;
    LeafParams want;
  } cases[] = {
      {{1, 1, 500}, 1, 2048, {500, 2048, 4, 4}},
      {{1, 1, 4000}, 0, 2048, {4000, 2048, 2, 2}}, // a guaranteed rate is not capped
      {{1, 0, 300}, 2, 512, {10, 300, 6, 6}},
      {{1, 0, 512}, 0, 512, {10, 512, 2, 2}},  // the ceiling is lowered to the link speed
      {{1, 0, 4000}, 0, 512, {10, 512, 2, 2}},
      {{0, 1, 500}, 0, 2048, {10, 2048, 4, 4}}, // direction off: the plain leaf
      {{2, 1, 500}, 0, 2048, {10, 2048, 4, 4}},
      {{1, 2, 0}, 0, 2048, {10, 2048, 4, 4}},   // no rate value: the plain leaf
      {{1, 1, 500}, 3, 2048, {500, 2048, 6, 6}}, // unknown level: the lowest priority
      {{1, 0, 300}, -1, 2048, {10, 300, 6, 6}},
  };
  for (const Case &c : cases) {
    LeafParams l = appLeaf(c.dir, c.level, c.speed);
    EXPECT_EQ(l.rate, c.want.rate);
    EXPECT_EQ(l.ceil, c.want.ceil);
    EXPECT_EQ(l.classPrio, c.want.classPrio);
    EXPECT_EQ(l.filterPrio, c.want.filterPrio);
  }
}

class AppRules : public QosTest {
protected:
  void SetUp() override
  {
    QosTest::SetUp();
    gatewayDevices();
    UPLINK_SPEED = 512;
    DOWNLINK_SPEED = 2048;
    // The services with port mappings read them from /var/<service>: the
    // build machine's own /var is hidden, so that none is found there.
  }
  std::string run()
  {
    startOutput();
    ServiceSnapshots seen{};
    EXPECT_EQ(startSetAppRule(dir.path(), seen), 0);
    return output();
  }
  TempDir dir; // an empty port-mapping directory
};

TEST_F(AppRules, CategorySlotsRecordEveryEntryEnabledOrNot)
{
  fake_nvram_load({{"QoSAppRules0", "0,0"},
                   {"QoSAppRules1", "0,0"},
                   {"QoSAppRules2", "0,0"},
                   {"QoSAppRules3", "2,0"},
                   {"QoSAppRules4", "1,0"},
                   {"QoSAppRules5", "2,0"},
                   {"QoSAppRules6", "1,0"},
                   {"QoSAppRules7", "0,0"},
                   {"QoSAppRules8", "0,0"},
                   {"QoSAppRules9", "1,0"},
                   {"QoSAppRules10", "9,0"}});
  EXPECT_EQ(run(), "vx_qos: ###Setting APPLICATION end...\n");
  EXPECT_TRUE(commands().empty());
  const int want[6] = {2, 1, 2, 1, 1, 9};
  const int copies[6] = {GAME_PRIO, VOIP_PRIO, MEDIA_PRIO, WEB_PRIO, P2P_PRIO, MAIL_PRIO};
  for (int slot = 0; slot < 6; ++slot) {
    EXPECT_EQ(CATEGORY_PRIO[slot], want[slot]) << slot;
    EXPECT_EQ(copies[slot], want[slot]) << slot;
  }
}

TEST_F(AppRules, HttpBothWaysExactCommands)
{
  fake_nvram_load({{"QoSAppRules6", "1,1,1,1,500,1,0,300"}});
  EXPECT_EQ(run(), "vx_qos: http enabled!! \nvx_qos: ###Setting APPLICATION end...\n");
  EXPECT_EQ(commands(), (Lines{
      "iptables -t mangle -A FORWARD -p tcp -o br0 -m multiport --sport 80,443 -j MARK --set-mark 44",
      "iptables -t mangle -A FORWARD -p tcp -o br0 -m multiport --sport 80,443 -j RETURN",
      "tc class add dev br0 parent 3:1 classid 3:44 htb rate 500kbit ceil 2048kbit prio 4",
      "tc qdisc add dev br0 parent 3:44 handle 144: sfq perturb 10",
      "tc filter add dev br0 parent 3:0 protocol ip prio 4 handle 44 fw classid 3:44",
      "iptables -t mangle -A FORWARD -p tcp -o eth2.2 -m multiport --dport 80,443 -j MARK --set-mark 44",
      "iptables -t mangle -A FORWARD -p tcp -o eth2.2 -m multiport --dport 80,443 -j RETURN",
      "tc class add dev eth2.2 parent 1:1 classid 1:44 htb rate 10kbit ceil 300kbit prio 4",
      "tc qdisc add dev eth2.2 parent 1:44 handle 144: sfq perturb 10",
      "tc filter add dev eth2.2 parent 1:0 protocol ip prio 4 handle 44 fw classid 1:44",
  }));
  EXPECT_EQ(WEB_PRIO, 1);
}

// Every fixed port rule of the games, in order, with the marks and devices of
// the four directions.
TEST_F(AppRules, GamesFixedPortRulesInOrder)
{
  fake_nvram_load({{"QoSAppRules0", "0,1,1,1,100,1,1,100,1,1,100,1,1,100"},
                   {"QoSAppRules1", "0,1,1,1,100,1,1,100,1,1,100,1,1,100"},
                   {"QoSAppRules2", "0,1,1,1,100,1,1,100,1,1,100,1,1,100"},
                   {"QoSAppRules3", "0,1,1,1,100,1,1,100"}});
  run();
  Lines marks, classes;
  for (const std::string &c : commands()) {
    if (c.find("MARK") != std::string::npos)
      marks.push_back(c.substr(c.find("-p ")));
    else if (c.find("RETURN") == std::string::npos && c.rfind("tc class", 0) == 0)
      classes.push_back(c.substr(c.find("classid ") + 8, c.find(" htb") - c.find("classid ") - 8));
  }
  EXPECT_EQ(marks, (Lines{
      "-p tcp -o br0 -m multiport --sport 3074,3390,3932,5555 -j MARK --set-mark 8",
      "-p udp -o br0 -m multiport --sport 88,1900,3074,3776,3777 -j MARK --set-mark 12",
      "-p tcp -o eth2.2 -m multiport --dport 3074,3390,3932,5555 -j MARK --set-mark 8",
      "-p udp -o eth2.2 -m multiport --dport 88,1900,3074,3776,3777 -j MARK --set-mark 12",
      "-p tcp -o br0 --sport 5223 -j MARK --set-mark 16",
      "-p udp -o br0 -m multiport --sport 3478,3479,3658,4658 -j MARK --set-mark 20",
      "-p tcp -o eth2.2 --dport 5223 -j MARK --set-mark 16",
      "-p udp -o eth2.2 -m multiport --dport 3478,3479,3658,4658 -j MARK --set-mark 20",
      "-p tcp -o br0 --sport 6667 -j MARK --set-mark 24",
      "-p tcp -o br0 -m tcp --sport 28800:29000 -j MARK --set-mark 24",
      "-p udp -o br0 -m multiport --sport 6667 -j MARK --set-mark 28",
      "-p udp -o br0 -m udp --sport 28800:29000 -j MARK --set-mark 28",
      "-p tcp -o eth2.2 --dport 6667 -j MARK --set-mark 24",
      "-p tcp -o eth2.2 -m tcp --sport 28800:29000 -j MARK --set-mark 24",
      "-p udp -o eth2.2 -m multiport --dport 6667 -j MARK --set-mark 28",
      "-p udp -o eth2.2 -m udp --dport 28800:29000 -j MARK --set-mark 28",
      "-p tcp -o br0 -m multiport --sport 40,112,3724,6112,4000 -j MARK --set-mark 32",
      "-p tcp -o br0 -m tcp --sport 6113:6119 -j MARK --set-mark 32",
      "-p tcp -o eth2.2 -m multiport --dport 40,112,3724,6112,4000 -j MARK --set-mark 32",
      "-p tcp -o eth2.2 -m tcp --sport 6113:9119 -j MARK --set-mark 32",
  }));
  EXPECT_EQ(classes, (Lines{"3:8", "3:12", "1:8", "1:12", "3:16", "3:20", "1:16", "1:20", "3:24", "3:28", "1:24",
                            "1:28", "3:32", "1:32"}));
  // each MARK is followed at once by its RETURN twin
  for (size_t i = 0; i + 1 < commands().size(); ++i) {
    const std::string &c = commands()[i];
    size_t at = c.find("-j MARK");
    if (at != std::string::npos) {
      EXPECT_EQ(commands()[i + 1], c.substr(0, at) + "-j RETURN");
    }
  }
}

TEST_F(AppRules, EmailExtraClassesEvenWithBothDirectionsOff)
{
  fake_nvram_load({{"QoSAppRules10", "2,1,0,0,100,0,0,100"}});
  WLAN_IF = "ra0";
  EXPECT_EQ(run(), "vx_qos: email enabled!! \nvx_qos: ###Setting APPLICATION end...\n");
  EXPECT_EQ(commands(), (Lines{
      "tc class add dev br0 parent 3:1 classid 3:60 htb rate 10kbit ceil 2048kbit prio 4",
      "tc qdisc add dev br0 parent 3:60 handle 160: sfq perturb 10",
      "tc filter add dev br0 parent 3:0 protocol ip prio 4 handle 60 fw classid 3:60",
      "tc class  add dev eth2.2 parent 1:1 classid 1:60 htb rate 10kbit ceil 512kbit prio 4",
      "tc qdisc  add dev eth2.2 parent 1:60 handle 160: sfq perturb 10",
      "tc filter add dev eth2.2 parent 1:0 protocol ip prio 4 handle 60 fw classid 1:60",
      "tc class add dev eth2.2 parent 1:1 classid 1:61 htb rate 10kbit ceil 512kbit prio 4",
      "tc qdisc add dev eth2.2 parent 1:61 handle 161: sfq perturb 10",
      "tc filter add dev eth2.2 parent 1:0 protocol ip prio 4 handle 61 fw classid 1:61",
      "tc class  add dev br0 parent 3:1 classid 3:61 htb rate 10kbit ceil 2048kbit prio 4",
      "tc qdisc  add dev br0 parent 3:61 handle 161: sfq perturb 10",
      "tc filter add dev br0 parent 3:0 protocol ip prio 4 handle 61 fw classid 3:61",
      "tc class  add dev ra0 parent 5:1 classid 5:61 htb rate 10kbit ceil 2048kbit prio 4",
      "tc qdisc  add dev ra0 parent 5:61 handle 161: sfq perturb 10",
      "tc filter add dev ra0 parent 5:0 protocol ip prio 4 handle 61 fw classid 5:61",
  }));
}

TEST_F(AppRules, EmailDirectionsOnMarkPop3AndSmtp)
{
  fake_nvram_load({{"QoSAppRules10", "0,1,1,1,100,1,0,200"}});
  run();
  ASSERT_EQ(commands().size(), 16u);
  EXPECT_EQ(commands()[0], "iptables -t mangle -A FORWARD -p tcp -o br0 --sport 110 -j MARK --set-mark 60");
  EXPECT_EQ(commands()[1], "iptables -t mangle -A FORWARD -p tcp -o br0 --sport 110 -j RETURN");
  EXPECT_EQ(commands()[2], "tc class add dev br0 parent 3:1 classid 3:60 htb rate 100kbit ceil 2048kbit prio 2");
  EXPECT_EQ(commands()[8], "iptables -t mangle -A FORWARD -p tcp -o eth2.2 --dport 25 -j MARK --set-mark 61");
  EXPECT_EQ(commands()[9], "iptables -t mangle -A FORWARD -p tcp -o eth2.2 --dport 25 -j RETURN");
  EXPECT_EQ(commands()[10], "tc class add dev eth2.2 parent 1:1 classid 1:61 htb rate 10kbit ceil 200kbit prio 2");
  EXPECT_EQ(commands()[12], "tc filter add dev eth2.2 parent 1:0 protocol ip prio 2 handle 61 fw classid 1:61");
}

TEST_F(AppRules, AbsentTreeDeviceDropsItsDirectionsWithTheirExtras)
{
  LAN_IF = BR_IF = nullptr;
  fake_nvram_load({{"QoSAppRules10", "0,1,1,1,100,1,0,200"}, {"QoSAppRules6", "0,1,1,1,100,1,0,200"}});
  run();
  for (const std::string &c : commands()) {
    EXPECT_EQ(c.find("br0"), std::string::npos) << c;
    EXPECT_EQ(c.find(" 3:"), std::string::npos) << c;
    EXPECT_EQ(c.find("1:60"), std::string::npos) << c; // pop3's extra hangs on the LAN direction
  }
  EXPECT_EQ(commands().size(), 10u); // http WAN pair + leaf, smtp pair + leaf
}

// Out-of-range values never borrow what an earlier entry or direction set.
TEST_F(AppRules, OddLevelsAndRateKindsGetFixedDefaults)
{
  fake_nvram_load({{"QoSAppRules6", "0,1,1,1,900,1,0,300"}, {"QoSAppRules7", "5,1,1,4,1,3"}});
  run();
  Lines classes;
  for (const std::string &c : commands()) {
    if (c.rfind("tc class", 0) == 0 || c.rfind("tc filter", 0) == 0)
      classes.push_back(c);
  }
  ASSERT_EQ(classes.size(), 8u);
  EXPECT_EQ(classes[0], "tc class add dev br0 parent 3:1 classid 3:44 htb rate 900kbit ceil 2048kbit prio 2");
  EXPECT_EQ(classes[4], "tc class add dev br0 parent 3:1 classid 3:48 htb rate 10kbit ceil 2048kbit prio 4");
  EXPECT_EQ(classes[5], "tc filter add dev br0 parent 3:0 protocol ip prio 4 handle 48 fw classid 3:48");
  EXPECT_EQ(classes[6], "tc class add dev eth2.2 parent 1:1 classid 1:48 htb rate 10kbit ceil 512kbit prio 4");
  EXPECT_EQ(P2P_PRIO, 0); // bittorrent's empty entry comes last in the p2p slot
}

TEST_F(AppRules, OddLevelWithRateGetsTheLowestPriority)
{
  fake_nvram_load({{"QoSAppRules6", "0,1,1,1,900,0,0,300"}, {"QoSAppRules10", "7,1,1,1,100,0,0,100"}});
  run();
  bool seen = false;
  for (const std::string &c : commands()) {
    if (c.find("classid 3:60 htb") != std::string::npos) {
      EXPECT_EQ(c, "tc class add dev br0 parent 3:1 classid 3:60 htb rate 100kbit ceil 2048kbit prio 6");
      seen = true;
    }
  }
  EXPECT_TRUE(seen);
}

TEST_F(AppRules, ServiceChainCreatedJustBeforeFirstEnabledDirection)
{
  fake_nvram_load({{"QoSAppRules9", "1,1,0,1,100,1,1,100"}});
  EXPECT_EQ(run(), "vx_qos: bittorrent enabled!! \n"
                   "vx_qos: (bittorrent NO to WAN mapping port.)\n"
                   "vx_qos: ###Setting APPLICATION end...\n");
  EXPECT_EQ(commands(), (Lines{
      "tc class add dev br0 parent 3:1 classid 3:56 htb rate 10kbit ceil 2048kbit prio 4",
      "tc qdisc add dev br0 parent 3:56 handle 156: sfq perturb 10",
      "tc filter add dev br0 parent 3:0 protocol ip prio 4 handle 56 fw classid 3:56",
      "iptables -t mangle -N qos_bt_chain 1>/dev/null 2>&1",
      "iptables -t mangle -A FORWARD -j  qos_bt_chain 1>/dev/null 2>&1",
      "tc class add dev eth2.2 parent 1:1 classid 1:56 htb rate 100kbit ceil 512kbit prio 4",
      "tc qdisc add dev eth2.2 parent 1:56 handle 156: sfq perturb 10",
      "tc filter add dev eth2.2 parent 1:0 protocol ip prio 4 handle 56 fw classid 1:56",
  }));
}

TEST_F(AppRules, NoMarkingPairWithoutTheOutputDevice)
{
  BR_IF = nullptr;
  fake_nvram_load({{"QoSAppRules6", "0,1,1,1,100,1,0,200"}, {"QoSAppRules9", "0,1,1,1,100,0,0,200"}});
  run();
  Lines lan;
  for (const std::string &c : commands()) {
    if (c.find("br0") != std::string::npos || c.find("(null)") != std::string::npos)
      lan.push_back(c.substr(0, c.find(" parent")));
  }
  EXPECT_EQ(lan, (Lines{"tc class add dev br0", "tc qdisc add dev br0", "tc filter add dev br0", "tc class add dev br0",
                        "tc qdisc add dev br0", "tc filter add dev br0"}));
}
