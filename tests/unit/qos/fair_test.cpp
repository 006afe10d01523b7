// The fair mode: its numbers, its tree, and what follows a refusal.
#include "qos_test.h"

#include "fair.h"
#include "tempdir.h"
#include "trees.h"
#include <sys/stat.h>

namespace {

class Fair : public QosTest {
protected:
  void SetUp() override
  {
    QosTest::SetUp();
    setSysctlWriter([](const char *path, const char *value) { return record_replace(path, value, strlen(value), 0); });
    UPLINK_SPEED = DOWNLINK_SPEED = 2048;
    fairStart(true, false, false);
  }
  void TearDown() override
  {
    fairStart(false, true, false);
    setToolRunner(nullptr);
    QosTest::TearDown();
  }
};

const std::string kFq = "fq_codel limit 1024 memory_limit 131072 target 6015us interval 101015us quantum 300 ecn";

TEST_F(Fair, SharesAndQueuesFollowTheLinkRate)
{
  // speed, h:2 rate and ceiling, h:4 rate, h:6 rate; fq_codel target, interval, quantum, memory
  for (const std::vector<int> &c : std::vector<std::vector<int>>{{0, 10, 10, 10, 10, 1232000, 1327000, 300, 131072},
                                                                 {8192, 1365, 2730, 2048, 512, 5000, 100000, 300, 256000},
                                                                 {51200, 8533, 17066, 12800, 3200, 5000, 100000, 1514, 1048576}}) {
    const DefaultShares s = defaultShares(c[0]);
    const FqCodelParams q = fqCodelFor(c[0]);
    EXPECT_EQ(c, (std::vector<int>{c[0], s.highRate, s.highCeil, s.lowRate, s.bulkRate, q.targetUs, q.intervalUs,
                                   q.quantum, q.memoryLimit}));
  }
}

TEST_F(Fair, TreeHasSharesFqCodelAndTheLowestClass)
{
  QoS_add_default_qdisc("eth2.2", 1, 2048);
  const std::string d = "tc class  add dev eth2.2 parent 1:1 classid ", q = "tc qdisc add dev eth2.2 parent 1:",
                    f = "tc filter add dev eth2.2 parent 1:0 protocol ip prio ";
  EXPECT_EQ(commands(), (Lines{"write /proc/sys/net/netfilter/nf_conntrack_acct: 1",
                               "tc qdisc  add dev eth2.2 root handle 1:0 htb",
                               "tc class  add dev eth2.2 parent 1:   classid 1:1 htb rate 2048kbit ceil 2048kbit",
                               d + "1:2 htb rate 341kbit ceil 682kbit prio 1", d + "1:4 htb rate 512kbit  ceil 2048kbit prio 4",
                               "tc qdisc  add dev eth2.2 parent 1:2 handle 12: " + kFq,
                               "tc qdisc  add dev eth2.2 parent 1:4 handle 14: " + kFq,
                               f + "1  handle 2 fw classid 1:2", f + "4  handle 4 fw classid 1:4",
                               "tc class add dev eth2.2 parent 1:1 classid 1:6 htb rate 128kbit ceil 2048kbit prio 7",
                               q + "6 handle 16: " + kFq,
                               f + "4 handle 6 fw classid 1:6"}));
}

// Batched: tc names the first leaf as refused, which stands for all: the sfq
// lines follow, each alone.
TEST_F(Fair, RefusedLinesInABatchFallBack)
{
  TempDir bin;
  for (const char *tool : {"tc", "iptables-restore"})
    bin.write(tool, ""), chmod(bin.file(tool).c_str(), 0755);
  const std::string path = getenv("PATH");
  setenv("PATH", bin.path(), 1);
  setToolRunner([](const char *const *, int in, int, int err) {
    char text[1024] = {};
    recorded_commands().emplace_back(text, in >= 0 ? std::max<ssize_t>(pread(in, text, sizeof text, 0), 0) : 0);
    const bool fq = recorded_commands().back().find("fq_codel") != std::string::npos;
    return fq && write(err, "Command failed -:1\n", 19) == 19 ? 1 : 0;
  });
  applyStart(ApplyMode::Batch, false);
  recorded_commands().clear();
  startOutput();
  leafQdisc(" ", "br0", 3, 8, 10);
  leafQdisc(" ", "br0", 3, 16, 10);
  applyFlush();
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(output(), "vx_qos: fair mode: no fq_codel: leaves keep sfq\n");
  const std::string q = "qdisc add dev br0 parent 3:";
  EXPECT_EQ(commands(), (Lines{q + "8 handle 18: " + kFq + "\n" + q + "16 handle 116: " + kFq + "\n",
                               "tc " + q + "8 handle 18: sfq perturb 10", "tc " + q + "16 handle 116: sfq perturb 10"}));
}

} // namespace
