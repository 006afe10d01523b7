// The fair mode: its numbers, its lines, and what follows a refusal.
#include "qos_test.h"

#include "fair.h"
#include "tempdir.h"
#include "trees.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

class Fair : public QosTest {
protected:
  void SetUp() override
  {
    QosTest::SetUp();
    setSysctlWriter([](const char *path, const char *value) {
      recorded_commands().push_back(std::string("write ") + path + ": " + value);
      return true;
    });
    unsetenv("VX_QOS_FAIR_OFF");
    UPLINK_SPEED = DOWNLINK_SPEED = 2048;
    fairStart(true, false, false);
  }
  void TearDown() override
  {
    fairStart(false, true, false);
    setSysctlWriter(nullptr);
    setToolRunner(nullptr);
    QosTest::TearDown();
  }
};

const std::string kFq = "fq_codel limit 1024 memory_limit 131072 target 6015us interval 101015us quantum 300 ecn";

TEST(FairNumbers, SharesAndQueuesFollowTheLinkRate)
{
  fairStart(true, true, false);
  struct Case {
    int speed;
    DefaultShares shares;
    FqCodelParams fq;
  } cases[] = {
      {0, {10, 10, 10, 10}, {1232000, 1327000, 300, 1024, 131072}}, // no rate set: the floor
      {512, {85, 170, 128, 32}, {24062, 119062, 300, 1024, 131072}},
      {2048, {341, 682, 512, 128}, {6015, 101015, 300, 1024, 131072}},
      {8192, {1365, 2730, 2048, 512}, {5000, 100000, 300, 1024, 256000}},
      {51200, {8533, 17066, 12800, 3200}, {5000, 100000, 1514, 1024, 1048576}},
  };
  for (const Case &c : cases) {
    const DefaultShares s = defaultShares(c.speed);
    const FqCodelParams q = fqCodelFor(c.speed);
    EXPECT_EQ((std::vector<int>{s.highRate, s.highCeil, s.lowRate, s.bulkRate}),
              (std::vector<int>{c.shares.highRate, c.shares.highCeil, c.shares.lowRate, c.shares.bulkRate}))
        << c.speed;
    EXPECT_EQ((std::vector<int>{q.targetUs, q.intervalUs, q.quantum, q.limit, q.memoryLimit}),
              (std::vector<int>{c.fq.targetUs, c.fq.intervalUs, c.fq.quantum, c.fq.limit, c.fq.memoryLimit}))
        << c.speed;
  }
  fairStart(false, true, false);
}

TEST_F(Fair, TreeHasSharesFqCodelAndTheLowestClass)
{
  QoS_add_default_qdisc("eth2.2", 1, 2048);
  EXPECT_EQ(commands(), (Lines{
                            "write /proc/sys/net/netfilter/nf_conntrack_acct: 1",
                            "tc qdisc  add dev eth2.2 root handle 1:0 htb",
                            "tc class  add dev eth2.2 parent 1:   classid 1:1 htb rate 2048kbit ceil 2048kbit",
                            "tc class  add dev eth2.2 parent 1:1 classid 1:2 htb rate 341kbit ceil 682kbit prio 1",
                            "tc class  add dev eth2.2 parent 1:1 classid 1:4 htb rate 512kbit  ceil 2048kbit prio 4",
                            "tc qdisc add dev eth2.2 parent 1:2 handle 12: " + kFq,
                            "tc qdisc add dev eth2.2 parent 1:4 handle 14: " + kFq,
                            "tc filter add dev eth2.2 parent 1:0 protocol ip prio 1  handle 2 fw classid 1:2",
                            "tc filter add dev eth2.2 parent 1:0 protocol ip prio 4  handle 4 fw classid 1:4",
                            "tc class add dev eth2.2 parent 1:1 classid 1:6 htb rate 128kbit ceil 2048kbit prio 7",
                            "tc qdisc add dev eth2.2 parent 1:6 handle 16: " + kFq,
                            "tc filter add dev eth2.2 parent 1:0 protocol ip prio 4 handle 6 fw classid 1:6",
                        }));
  // Every part switched off: the lines built without the key.
  Lines built[2];
  setenv("VX_QOS_FAIR_OFF", "shares,leaves,flows,dscp", 1);
  for (bool key : {true, false}) {
    fairStart(key, true, false);
    recorded_commands().clear();
    QoS_add_default_qdisc("eth2.2", 1, 2048);
    fairRules();
    built[key] = commands();
  }
  EXPECT_EQ(built[true], built[false]);
}

TEST_F(Fair, RulesGoByDscpFromTheLanThenByBehaviour)
{
  gatewayDevices();
  recorded_commands().clear();
  fairRules();
  const std::string d = "iptables -t mangle -A FORWARD -i br0 -m mark --mark 4 -m dscp --dscp-class ";
  const std::string f = "iptables -t mangle -A POSTROUTING -p udp -m mark --mark 4/0xffff ";
  EXPECT_EQ(commands(), (Lines{
                            d + "EF -j MARK --set-mark 2",
                            d + "CS5 -j MARK --set-mark 2",
                            d + "CS6 -j MARK --set-mark 2",
                            d + "CS7 -j MARK --set-mark 2",
                            d + "AF41 -j MARK --set-mark 2",
                            d + "AF42 -j MARK --set-mark 2",
                            d + "AF43 -j MARK --set-mark 2",
                            d + "CS1 -j MARK --set-mark 6",
                            f + "-m connbytes --connbytes 501: --connbytes-dir both --connbytes-mode avgpkt -j RETURN",
                            f + "-m conntrack --ctdir ORIGINAL -m hashlimit --hashlimit-upto 100/sec --hashlimit-mode "
                                "srcip,srcport,dstip,dstport --hashlimit-name vx_fair --hashlimit-htable-size 1024 "
                                "--hashlimit-htable-max 8192 --hashlimit-htable-expire 3000 --hashlimit-rate-match "
                                "--hashlimit-rate-interval 1 -j MARK --set-xmark 0x10000/0x10000",
                            f + "-m conntrack --ctdir ORIGINAL -j CONNMARK --save-mark --nfmask 0x10000 --ctmask "
                                "0x10000",
                            f + "-m connmark --mark 0x10000/0x10000 -j MARK --set-mark 2",
                            f + "-j MARK --set-xmark 0x0/0x10000",
                        }));
}

// Run now: the first refusal is said once and falls back; the next leaf goes
// to sfq at once. A refused rule is said once and has nothing in its place.
TEST_F(Fair, RefusedLinesRunNowFallBack)
{
  gatewayDevices();
  set_command_sink([](const char *line) {
    recorded_commands().emplace_back(line);
    return strstr(line, "fq_codel") != nullptr || strstr(line, "connbytes") != nullptr ? 2 : 0;
  });
  recorded_commands().clear();
  startOutput();
  leafQdisc(" ", "br0", 3, 8, 10);
  leafQdisc(" ", "br0", 3, 16, 10);
  fairRules();
  fairRules();
  EXPECT_EQ(output(), "vx_qos: fair mode: no fq_codel: leaves keep sfq\n"
                      "vx_qos: fair mode: no connbytes: flows judged by their rate alone\n");
  EXPECT_EQ(Lines(commands().begin(), commands().begin() + 3),
            (Lines{"tc qdisc add dev br0 parent 3:8 handle 18: " + kFq,
                   "tc qdisc add dev br0 parent 3:8 handle 18: sfq perturb 10",
                   "tc qdisc add dev br0 parent 3:16 handle 116: sfq perturb 10"}));
}

// Batched: the first leaf refused stands for all: the sfq lines follow in a batch.
TEST_F(Fair, RefusedLinesInABatchFallBack)
{
  TempDir bin;
  for (const char *tool : {"tc", "iptables-restore"}) {
    bin.write(tool, "");
    chmod(bin.file(tool).c_str(), 0755);
  }
  const std::string path = getenv("PATH");
  setenv("PATH", bin.path(), 1);
  setToolRunner([](const char *const *, int in, int, int err) {
    char text[4096] = {};
    const ssize_t n = in >= 0 ? pread(in, text, sizeof text - 1, 0) : 0;
    recorded_commands().emplace_back(text, n > 0 ? n : 0);
    std::string refusals;
    int line = 0;
    for (const char *p = text; *p != '\0'; p = strchr(p, '\n') + 1) {
      ++line;
      if (strncmp(p, "qdisc add dev br0 parent 3:8 handle 18: fq_codel", 48) == 0)
        refusals += "Command failed -:" + std::to_string(line) + "\n";
    }
    return err >= 0 && write(err, refusals.data(), refusals.size()) >= 0 && !refusals.empty() ? 1 : 0;
  });
  applyStart(ApplyMode::Batch, false);
  recorded_commands().clear();
  startOutput();
  leafQdisc(" ", "br0", 3, 8, 10);
  leafQdisc(" ", "br0", 3, 16, 10);
  applyFlush();
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(output(), "vx_qos: fair mode: no fq_codel: leaves keep sfq\n");
  EXPECT_EQ(commands(), (Lines{"qdisc add dev br0 parent 3:8 handle 18: " + kFq + "\nqdisc add dev br0 parent 3:16 " +
                                   "handle 116: " + kFq + "\n",
                               "qdisc add dev br0 parent 3:8 handle 18: sfq perturb 10\nqdisc add dev br0 parent 3:16 handle 116: sfq "
                               "perturb 10\n"}));
}

} // namespace
