// User rules: records to marking pairs and leaves, and the records that are
// skipped instead of reaching the shell.
#include "qos_test.h"

#include "user_rules.h"

#include <map>

namespace {

// A to-WAN rule for TCP destination port 80, guaranteed 500 kbit/s, category 0;
// every other selector unset the way the router's pages write it.
std::string record(const std::map<int, std::string> &changes = {}, int fields = 22)
{
  std::vector<std::string> f = {"1", "1", "x", "0", "1", "500", "0", "0", "0", "0", "0", "0", "0", "0",
                                "0.0.0.0", "0.0.0.0", "80", "80", "0.0.0.0", "0.0.0.0", "0", "0"};
  for (const auto &[index, value] : changes)
    f[static_cast<size_t>(index)] = value;
  std::string text;
  for (int i = 0; i < fields; ++i)
    text += (i ? "," : "") + f[static_cast<size_t>(i)];
  return text;
}

const char *const kWanPair[] = {
    "iptables -t mangle -A POSTROUTING -o eth2.2 -p tcp  --dport 80:80   -j MARK --set-mark 70",
    "iptables -t mangle -A POSTROUTING -o eth2.2 -p tcp  --dport 80:80   -j RETURN",
};

class QosUserRules : public QosTest {
protected:
  void SetUp() override
  {
    QosTest::SetUp();
    gatewayDevices();
    UPLINK_SPEED = 2048;
    DOWNLINK_SPEED = 8192;
    CATEGORY_PRIO[0] = 1;
  }
  // Runs the eight records (absent ones empty); returns what was printed.
  std::string run(const std::map<int, std::string> &records)
  {
    fake_nvram_clear();
    for (const auto &[n, value] : records)
      fake_nvram_set(("QoSUserRules" + std::to_string(n)).c_str(), value.c_str());
    recorded_commands().clear();
    startOutput();
    EXPECT_EQ(startSetUserRule(), 0);
    return output();
  }
};

constexpr char kEnd[] = "vx_qos: ###Setting USER RULE end...\n";

} // namespace

TEST(RateCheck, RaisesToTenKbit)
{
  const int cases[][2] = {{0, 10}, {-5, 10}, {9, 10}, {10, 10}, {700, 700}};
  for (const auto &c : cases) {
    int rate = c[0];
    rate_check(rate);
    EXPECT_EQ(rate, c[1]) << c[0];
  }
}

TEST_F(QosUserRules, TowardsTheWan)
{
  for (const char *direction : {"1", "2"}) {
    EXPECT_EQ(run({{0, record({{1, direction}})}}),
              std::string("vx_qos: user rule 0 enabled!!\nvx_qos: To WAN \n") + kEnd);
    const Lines expected = {
        kWanPair[0], kWanPair[1],
        "tc class add dev eth2.2 parent 1:1 classid 1:70 htb rate 500kbit ceil 2048kbit prio 4",
        "tc qdisc  add dev eth2.2 parent 1:70 handle 170: sfq perturb 10",
        "tc filter add dev eth2.2 parent 1:0 protocol ip prio 4 handle 70 fw classid 1:70",
    };
    EXPECT_EQ(commands(), expected) << "direction " << direction;
  }
}

TEST_F(QosUserRules, TowardsTheLanWithAndWithoutTheWirelessCopy)
{
  const Lines lan = {
      "iptables -t mangle -A POSTROUTING -o br0 -p tcp  --dport 80:80   -j MARK --set-mark 83",
      "iptables -t mangle -A POSTROUTING -o br0 -p tcp  --dport 80:80   -j RETURN",
      "tc class add dev br0 parent 3:1 classid 3:83 htb rate 500kbit ceil 8192kbit prio 4",
      "tc qdisc add dev br0 parent 3:83 handle 183: sfq perturb 10",
      "tc filter  add dev br0 parent 3:0 protocol ip prio 4 handle 83 fw classid 3:83",
  };
  EXPECT_EQ(run({{3, record({{1, "0"}})}}), std::string("vx_qos: user rule 3 enabled!!\nvx_qos: To LAN \n") + kEnd);
  EXPECT_EQ(commands(), lan);

  WLAN_IF = "ra0";
  run({{3, record({{1, "0"}})}});
  Lines withCopy = lan;
  withCopy.insert(withCopy.end(), {
      "tc class  add dev ra0 parent 5:1 classid 5:83 htb rate 10kbit ceil 8192kbit prio 4",
      "tc qdisc  add dev ra0 parent 5:83 handle 183: sfq perturb 10",
      "tc filter add dev ra0 parent 5:0 protocol ip prio 4 handle 83 fw classid 5:83",
  });
  EXPECT_EQ(commands(), withCopy);

  // Without a LAN tree the pair and the wireless copy remain; without a
  // device to name after "-o" no pair is issued.
  LAN_IF = nullptr;
  run({{3, record({{1, "0"}})}});
  EXPECT_EQ(commands(), Lines({lan[0], lan[1], withCopy[5], withCopy[6], withCopy[7]}));
  BR_IF = nullptr;
  WLAN_IF = nullptr;
  EXPECT_EQ(run({{3, record({{1, "0"}})}}), std::string("vx_qos: user rule 3 enabled!!\nvx_qos: To LAN \n") + kEnd);
  EXPECT_TRUE(commands().empty());
}

// Ceilings compare with the fixed 51200, not with the link speed; a
// guaranteed rate is never capped.
TEST_F(QosUserRules, BandwidthBecomesRateOrCeiling)
{
  struct Case {
    const char *kind, *bandwidth, *htb;
  } cases[] = {
      {"0", "5", "rate 10kbit ceil 10kbit"},           {"0", "51200", "rate 10kbit ceil 51200kbit"},
      {"0", "51201", "rate 10kbit ceil 2048kbit"},     {"0", "4000", "rate 10kbit ceil 4000kbit"},
      {"0", "", "rate 10kbit ceil 10kbit"},            {"1", "", "rate 10kbit ceil 2048kbit"},
      {"1", "9999999", "rate 9999999kbit ceil 2048kbit"}, {"1", "-3", "rate 10kbit ceil 2048kbit"},
  };
  for (const Case &c : cases) {
    run({{0, record({{4, c.kind}, {5, c.bandwidth}})}});
    ASSERT_EQ(commands().size(), 5u);
    EXPECT_EQ(commands()[2], std::string("tc class add dev eth2.2 parent 1:1 classid 1:70 htb ") + c.htb + " prio 4")
        << c.kind << "/" << c.bandwidth;
  }
}

TEST_F(QosUserRules, CategoryLevelGivesClassAndFilterPriority)
{
  const int cases[][2] = {{0, 2}, {1, 4}, {2, 6}, {3, 6}, {-1, 6}, {99, 6}};
  for (const auto &c : cases) {
    CATEGORY_PRIO[5] = c[0];
    run({{0, record({{3, "5"}})}});
    ASSERT_EQ(commands().size(), 5u);
    const std::string prio = std::to_string(c[1]);
    EXPECT_EQ(commands()[2],
              "tc class add dev eth2.2 parent 1:1 classid 1:70 htb rate 500kbit ceil 2048kbit prio " + prio);
    EXPECT_EQ(commands()[4],
              "tc filter add dev eth2.2 parent 1:0 protocol ip prio " + prio + " handle 70 fw classid 1:70");
  }
}

// The five fragments in their fixed order; empty ones leave their blanks.
TEST_F(QosUserRules, MatchFragments)
{
  struct Case {
    std::map<int, std::string> changes;
    const char *match;
  } cases[] = {
      {{{12, "1"}}, "-p udp  --dport 80:80  "},
      {{{12, "2"}, {13, "1"}}, "-p icmp  --dport 80:80  "},
      {{{12, "2"}, {13, "47"}}, "-p 47  --dport 80:80  "},
      {{{12, "2"}, {13, "00255"}}, "-p 255  --dport 80:80  "},
      {{{16, "0"}, {20, "1024"}, {21, "2048"}}, "-p tcp --sport 1024:2048   "},
      {{{16, ""}, {17, ""}, {18, "10.0.0.1"}, {19, "10.0.0.9"}}, "-p tcp   -m iprange --src-range 10.0.0.1-10.0.0.9 "},
      {{{14, "8.8.8.8"}, {15, "8.8.4.4"}}, "-p tcp  --dport 80:80  -m iprange --dst-range 8.8.8.8-8.8.4.4"},
      // One end of a range selects the rule but adds no match.
      {{{16, "0"}, {17, "0"}, {14, "1.2.3.4"}}, "-p tcp    "},
      {{{16, "8080"}, {17, ""}}, "-p tcp    "},
  };
  for (const Case &c : cases) {
    run({{0, record(c.changes)}});
    ASSERT_EQ(commands().size(), 5u) << c.match;
    EXPECT_EQ(commands()[0], std::string("iptables -t mangle -A POSTROUTING -o eth2.2 ") + c.match +
                                 " -j MARK --set-mark 70");
    EXPECT_EQ(commands()[1], std::string("iptables -t mangle -A POSTROUTING -o eth2.2 ") + c.match + " -j RETURN");
  }
}

// Records that cannot be built are skipped whole, with at most one message
// after the enable line, and no command.
TEST_F(QosUserRules, SkippedRecords)
{
  const std::string on = "vx_qos: user rule 0 enabled!!\n";
  const std::string skip = "vx_qos: user rule 0 skipped: ";
  struct Case {
    std::string record;
    std::string said;
  } cases[] = {
      {"", ""},
      {record({{0, "0"}}), ""},
      {record({{0, "2"}}), ""},
      {record({{1, "3"}}), on},
      {record({{1, "-1"}}), on},
      {record({{16, "0"}, {17, "0"}}), on},
      {record({{14, ""}, {15, ""}, {16, ""}, {17, ""}, {18, ""}, {19, ""}, {20, ""}, {21, ""}}), on},
      {record({}, 14), on},
      {"1", on + skip + "record ends before field 1\n"},
      {record({}, 3), on + skip + "record ends before field 3\n"},
      {record({}, 4), on + skip + "record ends before field 4\n"},
      {record({}, 5), on + skip + "record ends before field 5\n"},
      {record({}, 12), on + skip + "record ends before field 12\n"},
      {record({{12, "2"}}, 13), on + skip + "record ends before field 13\n"},
      {record({{3, "6"}}), on + skip + "field 3 is not a category 0 to 5\n"},
      {record({{3, "-1"}}), on + skip + "field 3 is not a category 0 to 5\n"},
      {record({{4, "2"}}), on + skip + "field 4 is not a bandwidth kind 0 or 1\n"},
      {record({{12, "3"}}), on + skip + "field 12 is not a protocol 0, 1 or 2\n"},
      {record({{12, "2"}, {13, "256"}}), on + skip + "field 13 is not a protocol number 0 to 255\n"},
      {record({{12, "2"}, {13, "-1"}}), on + skip + "field 13 is not a protocol number 0 to 255\n"},
      {record({{14, "1.2.3.4;reboot"}, {15, "1.2.3.9"}}), on + skip + "field 14 is not a dotted address\n"},
      {record({{15, "10.0.0.256"}}), on + skip + "field 15 is not a dotted address\n"},
      {record({{18, "$(reboot)"}}), on + skip + "field 18 is not a dotted address\n"},
      {record({{19, "10.0.0.1 -j DROP"}}), on + skip + "field 19 is not a dotted address\n"},
      {record({{16, "80;x"}}), on + skip + "field 16 is not a port 0 to 65535\n"},
      {record({{17, "1:2"}}), on + skip + "field 17 is not a port 0 to 65535\n"},
      {record({{20, "-1"}}), on + skip + "field 20 is not a port 0 to 65535\n"},
      {record({{21, "65536"}}), on + skip + "field 21 is not a port 0 to 65535\n"},
      // A field longer than the room kept for it is refused, not cut: cut,
      // "0000006" would have been protocol 0, which matches every protocol.
      {record({{12, "2"}, {13, "0000006"}}), on + skip + "field 13 is longer than 5 characters\n"},
      {record({{1, "011"}}), on + skip + "field 1 is longer than 2 characters\n"},
      {record({{3, "005"}}), on + skip + "field 3 is longer than 2 characters\n"},
      {record({{4, "001"}}), on + skip + "field 4 is longer than 2 characters\n"},
      {record({{5, "99999999"}}), on + skip + "field 5 is longer than 7 characters\n"},
      {record({{12, "000"}}), on + skip + "field 12 is longer than 2 characters\n"},
      {record({{14, "1.2.3.4            x"}}), on + skip + "field 14 is longer than 19 characters\n"},
      {record({{17, "00000080"}}), on + skip + "field 17 is longer than 7 characters\n"},
      {record({{20, "00000000"}}), on + skip + "field 20 is longer than 7 characters\n"},
      {record({{0, "011"}}), ""}, // an enable field of three characters is not 1
  };
  for (const Case &c : cases) {
    EXPECT_EQ(run({{0, c.record}}), c.said + kEnd) << c.record;
    EXPECT_TRUE(commands().empty()) << c.record;
  }
}

// Each record is read on its own: a skipped or shorter record never borrows
// the fields of the rule before it.
TEST_F(QosUserRules, NothingCarriesOverBetweenRules)
{
  const std::string first = record({{12, "1"}, {4, "0"}, {5, "300"}, {18, "10.0.0.1"}, {19, "10.0.0.9"}});
  const std::string out = run({{0, first}, {1, record({}, 12)}, {2, record({{1, "0"}}, 18)}});
  EXPECT_EQ(out, "vx_qos: user rule 0 enabled!!\nvx_qos: To WAN \n"
                 "vx_qos: user rule 1 enabled!!\nvx_qos: user rule 1 skipped: record ends before field 12\n"
                 "vx_qos: user rule 2 enabled!!\nvx_qos: To LAN \n" +
                     std::string(kEnd));
  ASSERT_EQ(commands().size(), 10u);
  EXPECT_EQ(commands()[0], "iptables -t mangle -A POSTROUTING -o eth2.2 -p udp  --dport 80:80 -m iprange --src-range "
                           "10.0.0.1-10.0.0.9  -j MARK --set-mark 70");
  EXPECT_EQ(commands()[5], "iptables -t mangle -A POSTROUTING -o br0 -p tcp  --dport 80:80   -j MARK --set-mark 82");
  EXPECT_EQ(commands()[7], "tc class add dev br0 parent 3:1 classid 3:82 htb rate 500kbit ceil 8192kbit prio 4");
}
