// The QoS program's runner, list reader, settings and reset.
#include "qos_test.h"

#include "driver.h"
#include "fields.h"
#include "tempdir.h"

#include <cstring>

TEST(ListFields, FieldsByIndex)
{
  struct Case {
    int index;
    const char *list;
    size_t size;
    int rc;
    const char *out;
  } cases[] = {
      {2, "0,1,2", 16, 0, "2"},      {3, "0,1,2", 16, -1, "untouched"}, {1, "a,,c", 16, 0, ""},
      {0, "abcde", 3, 0, "ab"},      {0, "abcde", 16, 0, "abcde"},       {0, "", 16, 0, ""},
      {1, "", 16, -1, "untouched"},  {1, "a,", 16, 0, ""},               {5, "a,b", 16, -1, "untouched"},
      {21, "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21", 16, 0, "21"},
  };
  for (const Case &c : cases) {
    char dst[16];
    strcpy(dst, "untouched");
    EXPECT_EQ(getNthValueSafe(c.index, c.list, ',', dst, c.size), c.rc) << c.list << " #" << c.index;
    EXPECT_STREQ(dst, c.out) << c.list << " #" << c.index;
  }
  // Any separator is safe: a NUL one never occurs inside a text, which is
  // then one field; a separator with the high bit set is a separator.
  char whole[16];
  EXPECT_EQ(getNthValueSafe(0, "a,b", '\0', whole, sizeof whole), 0);
  EXPECT_STREQ(whole, "a,b");
  strcpy(whole, "untouched");
  EXPECT_EQ(getNthValueSafe(1, "a,b", '\0', whole, sizeof whole), -1);
  EXPECT_STREQ(whole, "untouched");
  EXPECT_EQ(getNthValueSafe(1, "a\xe9z", '\xe9', whole, sizeof whole), 0);
  EXPECT_STREQ(whole, "z");
  char dst[4] = "x";
  EXPECT_EQ(getNthValueSafe(0, nullptr, ',', dst, sizeof dst), -1);
  EXPECT_EQ(getNthValueSafe(0, "a", ',', nullptr, 4), -1);
  EXPECT_EQ(getNthValueSafe(0, "a", ',', dst, 0), -1);
  EXPECT_STREQ(dst, "x");
}

using QosSpine = QosTest;

TEST_F(QosSpine, CommandsAreEchoedOnlyWhenAsked)
{
  startOutput();
  vx_doCmd("tc qdisc  add dev %s root handle %d:0 htb", "eth2.2", 1);
  EXPECT_EQ(output(), "");
  setCmdLevel(1);
  startOutput();
  vx_doCmd("iptables -t mangle -A POSTROUTING \t-p udp --dport 53 -j MARK --set-mark %d", 2);
  EXPECT_EQ(output(), "iptables -t mangle -A POSTROUTING \t-p udp --dport 53 -j MARK --set-mark 2\n");
  ASSERT_EQ(commands().size(), 2u);
  EXPECT_EQ(commands()[0], "tc qdisc  add dev eth2.2 root handle 1:0 htb");
}

TEST_F(QosSpine, LongCommandsAreCutAt1024Characters)
{
  std::string big(2000, 'x');
  vx_doCmd("echo %s", big.c_str());
  ASSERT_EQ(commands().size(), 1u);
  EXPECT_EQ(commands()[0].size(), 1024u);
}

TEST_F(QosSpine, SpeedsTakeTheirUnitAndTheCap)
{
  struct Case {
    const char *value;
    int speed;
  } cases[] = {{"10M", 10240}, {"512k", 512}, {"2048", 2048}, {"100M", 51200}, {"", 0},
               {"abc", 0},     {"51201", 51200}, {"99999999999", 51200}, {"999999M", 51200}, {"-5", -5}};
  for (const Case &c : cases) {
    fake_nvram_load({{"VX_QoSUploadBw", c.value}, {"VX_QoSDownloadBw", "1M"}});
    startOutput();
    initSpeed();
    std::string out = output();
    EXPECT_EQ(UPLINK_SPEED, c.speed) << c.value;
    EXPECT_EQ(DOWNLINK_SPEED, 1024);
    EXPECT_EQ(out, "vx_qos: UPLINK_SPEED=" + std::to_string(c.speed) + "\nvx_qos: DOWNLINK_SPEED=1024\n");
  }
}

TEST_F(QosSpine, WanDeviceFollowsConnectionTypeThenOperationMode)
{
  fake_nvram_load({{"OperationMode", "4"}});
  EXPECT_STREQ(getWanIfName(), "br0");
  fake_nvram_load({{"OperationMode", "1"}});
  EXPECT_STREQ(getWanIfName(), "eth2.2");
  fake_nvram_load({{"OperationMode", "9"}});
  EXPECT_STREQ(getWanIfName(), "eth2.2"); // an unknown mode keeps the last answer
  resetRunState();
  EXPECT_STREQ(getWanIfName(), "br0"); // a new run starts from br0 again
  fake_nvram_load({{"OperationMode", "3"}, {"wanConnectionMode", "PPPOE"}});
  EXPECT_STREQ(getWanIfNamePPP(), "ppp0");
  fake_nvram_load({{"OperationMode", "3"}, {"wanConnectionMode", "pppoe"}});
  EXPECT_STREQ(getWanIfNamePPP(), "apcli0");
  fake_nvram_load({{"OperationMode", "2"}, {"wanConnectionMode", "L2TP"}});
  EXPECT_STREQ(getWanIfNamePPP(), "ppp0");
}

TEST_F(QosSpine, PppWanDeviceIsTheSessionsInterface)
{
  TempDir dir;
  const std::string report = dir.file("link");
  setPppReport(report.c_str());
  const std::pair<const char *, const char *> cases[] = {
      {"1 ppp1\n", "ppp1"}, {"1\n", "ppp0"}, {"0\n", "ppp0"}, {"1 ppp1;reboot\n", "ppp0"}};
  for (const auto &c : cases) {
    dir.write("link", c.first);
    fake_nvram_load({{"OperationMode", "1"}, {"wanConnectionMode", "PPTP"}});
    EXPECT_STREQ(getWanIfNamePPP(), c.second) << c.first;
  }
  fake_nvram_load({{"OperationMode", "1"}, {"wanConnectionMode", "DHCP"}});
  EXPECT_STREQ(getWanIfNamePPP(), "eth2.2");
  setPppReport(nullptr);
}

TEST_F(QosSpine, InitIfReportsTheDeviceRoles)
{
  fake_nvram_load({{"OP_Mode", "6"}, {"OperationMode", "2"}, {"lan_ipaddr", "10.0.0.1"}});
  startOutput();
  EXPECT_EQ(initIF(), 0);
  EXPECT_EQ(output(), "WISP Mode\n"
                      "vx_qos: OP_MODE=6\n"
                      "vx_qos: WAN_IF=ra0\n"
                      "vx_qos: LAN_IF=eth2\n"
                      "vx_qos: WLAN_IF=(null)\n"
                      "vx_qos: BR_IF=eth2\n");
  EXPECT_EQ(fake_nvram_init_calls(), 1);
  EXPECT_STREQ(LAN_IP, "10.0.0.1");
  EXPECT_STREQ(LAN_MASK, "");

  resetRunState();
  fake_nvram_load({{"OP_Mode", "3"}, {"OperationMode", "0"}});
  startOutput();
  initIF();
  EXPECT_EQ(output(), "vx_qos: OP_MODE=3\nvx_qos: WAN_IF=br0\nvx_qos: LAN_IF=(null)\n"
                      "vx_qos: WLAN_IF=(null)\nvx_qos: BR_IF=(null)\n");
  EXPECT_EQ(LAN_IF, nullptr);
}

TEST_F(QosSpine, ResetClearsEveryRootQdiscAndTheMangleTable)
{
  fake_nvram_load({});
  startOutput();
  EXPECT_EQ(setDefault(), 0);
  output();
  const Lines expected = {
      "tc qdisc del dev ppp0   root 1>/dev/null 2>&1",
      "tc qdisc del dev eth2.2 root 1>/dev/null 2>&1",
      "tc qdisc del dev eth2.1 root 1>/dev/null 2>&1",
      "tc qdisc del dev eth2   root 1>/dev/null 2>&1",
      "tc qdisc del dev ra0    root 1>/dev/null 2>&1",
      "tc qdisc del dev apcli0 root 1>/dev/null 2>&1",
      "tc qdisc del dev br0    root 1>/dev/null 2>&1",
      "iptables -F -t mangle",
      "iptables -X -t mangle",
      "iptables -Z -t mangle",
  };
  EXPECT_EQ(commands(), expected);
  EXPECT_EQ(UPLINK_SPEED, 0);

  // A session on another interface has its tree there, whatever the
  // connection type is now; ppp0's is cleared as ever.
  TempDir dir;
  dir.write("link", "1 ppp1\n");
  const std::string report = dir.file("link");
  setPppReport(report.c_str());
  recorded_commands().clear();
  clearOldRule();
  setPppReport(nullptr);
  Lines withSession = expected;
  withSession.insert(withSession.begin() + 7, "tc qdisc del dev ppp1   root 1>/dev/null 2>&1");
  EXPECT_EQ(commands(), withSession);
}
