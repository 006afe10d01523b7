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
    fairStart(true, false);
  }
  void TearDown() override
  {
    fairStart(false, true);
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

// A class may send 1 ms at its ceiling and a packet more at once, where the
// timers are finer than 1 ms and that is over a packet; the tree's classes
// carry it.
TEST_F(Fair, ClassesBurstAMillisecondAtTheirCeilingOnFineTimers)
{
  const std::tuple<long, int, const char *> cases[] = {{1, 20480, " burst 4160 cburst 4160"},
                                                       {1, 12808, " burst 3201 cburst 3201"},
                                                       {999999, 12808, " burst 3201 cburst 3201"},
                                                       {1, 12800, ""},
                                                       {1000000, 51200, ""}};
  for (const auto &[ns, ceil, words] : cases) {
    setTimerResolution(ns);
    fairStart(true, false);
    EXPECT_STREQ(classBurst(ceil), words) << ns << " " << ceil;
  }
  setTimerResolution(1);
  fairStart(true, false);
  recorded_commands().clear();
  QoS_add_default_qdisc("eth2.2", 1, 20480);
  EXPECT_EQ(commands().at(1), "tc class  add dev eth2.2 parent 1:   classid 1:1 htb rate 20480kbit ceil 20480kbit burst "
                              "4160 cburst 4160");
  EXPECT_EQ(commands().at(3), "tc class  add dev eth2.2 parent 1:1 classid 1:4 htb rate 5120kbit  ceil 20480kbit prio 4 "
                              "burst 4160 cburst 4160");
  setTimerResolution(0);
}

// The low class's host queues: each one's class and fq_codel.
Lines hostQueues(const std::string &dev)
{
  Lines lines;
  for (const char *n : {"1", "2", "3", "4", "5", "6", "7", "8"}) {
    lines.push_back("tc class add dev " + dev + " parent e4: classid e4:" + n + " drr");
    lines.push_back("tc qdisc add dev " + dev + " parent e4:" + n + " handle f" + n + ": " + kFq);
  }
  return lines;
}

TEST_F(Fair, TreeHasSharesFqCodelHostQueuesAndTheLowestClass)
{
  QoS_add_default_qdisc("eth2.2", 1, 2048);
  const std::string d = "tc class  add dev eth2.2 parent 1:1 classid ", q = "tc qdisc add dev eth2.2 parent 1:",
                    f = "tc filter add dev eth2.2 parent 1:0 protocol ip prio ";
  Lines expected{"write /var/vx_qos.fair: ",
                 "write /proc/sys/net/netfilter/nf_conntrack_acct: 1",
                 "tc qdisc  add dev eth2.2 root handle 1:0 htb",
                 "tc class  add dev eth2.2 parent 1:   classid 1:1 htb rate 2048kbit ceil 2048kbit",
                 d + "1:2 htb rate 341kbit ceil 682kbit prio 1",
                 d + "1:4 htb rate 512kbit  ceil 2048kbit prio 4",
                 "tc qdisc  add dev eth2.2 parent 1:2 handle 12: " + kFq,
                 "tc qdisc  add dev eth2.2 parent 1:4 handle 14: " + kFq,
                 "tc qdisc replace dev eth2.2 parent 1:4 handle e4: drr",
                 "tc filter add dev eth2.2 parent e4: handle 1 flow map key nfct-src divisor 8 baseclass e4:1"};
  const Lines hosts = hostQueues("eth2.2");
  expected.insert(expected.end(), hosts.begin(), hosts.end());
  expected.insert(expected.end(), {f + "1  handle 2 fw classid 1:2", f + "4  handle 4 fw classid 1:4",
                                   "tc class add dev eth2.2 parent 1:1 classid 1:6 htb rate 128kbit ceil 2048kbit prio 7",
                                   q + "6 handle 16: " + kFq, f + "4 handle 6 fw classid 1:6"});
  EXPECT_EQ(commands(), expected);
}

// Run now: without the drr queue the low leaf keeps its plain queue; without
// the flow filter the drr queue, which would drop everything, makes way for
// sfq. Either is said once, and the host queues are left out.
TEST_F(Fair, HostQueuesNeedTheDrrQueueAndItsFilter)
{
  static const char *g_refuse;
  const std::string q = "tc qdisc  add dev br0 parent 3:4 handle 14: " + kFq;
  const std::string drr = "tc qdisc replace dev br0 parent 3:4 handle e4: drr";
  const std::string filter = "tc filter add dev br0 parent e4: handle 1 flow map key dst divisor 8 baseclass e4:1";
  const std::pair<const char *, Lines> cases[] = {
      {" drr", {q, drr}},
      {" flow ", {q, drr, filter, "tc qdisc replace dev br0 parent 3:4 handle 14: sfq perturb 10"}},
      {"nothing", {}},
  };
  for (const auto &c : cases) {
    g_refuse = c.first;
    fairStart(true, false);
    set_command_sink([](const char *line) { return record_command(line) + (strstr(line, g_refuse) ? 2 : 0); });
    recorded_commands().clear();
    startOutput();
    leafQdisc("  ", "br0", 3, 4, 10);
    Lines expected = c.second;
    if (expected.empty()) {
      expected = {q, drr, filter};
      const Lines hosts = hostQueues("br0");
      expected.insert(expected.end(), hosts.begin(), hosts.end());
    }
    EXPECT_EQ(commands(), expected) << c.first;
    EXPECT_EQ(output(), c.second.empty() ? "" : "vx_qos: fair mode: no drr or flow: the low class is shared by flow alone\n")
        << c.first;
  }
}

// The batch tools on PATH, started by a runner that records each batch and
// refuses what the test names: the tc batch's lines listed in `g_tcRefuses`
// ("Command failed -:N"), and every mangle commit.
std::string g_tcRefuses;
class FairBatch : public Fair {
protected:
  void SetUp() override
  {
    Fair::SetUp();
    for (const char *tool : {"tc", "iptables-restore"})
      bin_.write(tool, ""), chmod(bin_.file(tool).c_str(), 0755);
    path_ = getenv("PATH");
    setenv("PATH", bin_.path(), 1);
    setToolRunner([](const char *const *argv, int in, int, int err) {
      char text[1024] = {};
      recorded_commands().emplace_back(text, in >= 0 ? std::max<ssize_t>(pread(in, text, sizeof text, 0), 0) : 0);
      if (strcmp(argv[0], "tc") != 0)
        return 1;
      return write(err, g_tcRefuses.data(), g_tcRefuses.size()) > 0 ? 1 : 0;
    });
    applyStart(ApplyMode::Batch, false);
    recorded_commands().clear();
  }
  void TearDown() override
  {
    setenv("PATH", path_.c_str(), 1);
    Fair::TearDown();
  }
  TempDir bin_;
  std::string path_;
};

// Every refused fq_codel leaf ends on sfq, and once one did the later
// leaves, in this batch's run and after it, go straight to sfq.
TEST_F(FairBatch, EachRefusedLeafFallsBackAndTheRestGoStraightToSfq)
{
  const std::string q = "qdisc add dev br0 parent 3:";
  for (const char *refused : {"Command failed -:1\nCommand failed -:2\n", "Command failed -:2\n"}) {
    fairStart(true, false);
    applyStart(ApplyMode::Batch, false);
    recorded_commands().clear();
    g_tcRefuses = refused;
    startOutput();
    leafQdisc(" ", "br0", 3, 8, 10);
    leafQdisc(" ", "br0", 3, 16, 10);
    applyFlush();
    g_tcRefuses.clear();
    leafQdisc(" ", "br0", 3, 24, 10);
    applyFlush();
    EXPECT_EQ(output(), "vx_qos: fair mode: no fq_codel: leaves keep sfq\n") << refused;
    Lines expected{q + "8 handle 18: " + kFq + "\n" + q + "16 handle 116: " + kFq + "\n"};
    if (strlen(refused) > 20)
      expected.push_back("tc " + q + "8 handle 18: sfq perturb 10");
    expected.push_back("tc " + q + "16 handle 116: sfq perturb 10");
    expected.push_back(q + "24 handle 124: sfq perturb 10\n");
    EXPECT_EQ(commands(), expected) << refused;
  }
}

// More leaves than the table of refusals holds between mangle lines: the tc
// lines go in more than one batch, the mangle table still in one commit.
TEST_F(FairBatch, ManyLeavesKeepTheMangleCommitWhole)
{
  BR_IF = "br0";
  fairRules();
  for (int mark = 8; mark < 8 + 8 * 70; mark += 8)
    leafQdisc(" ", "br0", 3, mark, 10);
  vx_doCmd("iptables -t mangle -A POSTROUTING -j RETURN");
  applyFlush();
  // (The fixture refuses the commit: its lines then run alone, as commands.)
  int tc = 0, mangle = 0;
  for (const std::string &batch : commands()) {
    tc += batch.rfind("qdisc ", 0) == 0;
    mangle += batch.rfind("*mangle", 0) == 0;
  }
  EXPECT_EQ(std::make_pair(tc, mangle), std::make_pair(2, 1));
}

// Run one at a time, the first refusal takes its leaf's fallback and the
// leaves after it go straight to theirs.
TEST_F(Fair, RunNowTriesFqCodelOnce)
{
  set_command_sink([](const char *line) { return record_command(line) + (strstr(line, "fq_codel") ? 2 : 0); });
  recorded_commands().clear();
  startOutput();
  for (int mark : {8, 16, 24})
    leafQdisc(" ", "br0", 3, mark, 10);
  EXPECT_EQ(output(), "vx_qos: fair mode: no fq_codel: leaves keep sfq\n");
  const std::string q = "tc qdisc add dev br0 parent 3:";
  EXPECT_EQ(commands(), (Lines{q + "8 handle 18: " + kFq, q + "8 handle 18: sfq perturb 10",
                               q + "16 handle 116: sfq perturb 10", q + "24 handle 124: sfq perturb 10"}));
}

// A refusal is said by the code that issued the line: the mode names the
// features its own lines lack, once each, and a refused line of anyone else
// that happens to name one (a port-mapping line's protocol "dscp") says
// nothing, with the mode on or off, run now or batched.
TEST_F(FairBatch, OnlyTheModesOwnRefusedLinesNameItsFeatures)
{
  set_command_sink([](const char *line) { return record_command(line) + 1; });
  BR_IF = "br0";
  const char *other = "iptables -t mangle -A qos_bt_chain -o br0 -p dscp --dport 80 -j MARK --set-mark 56";
  for (const ApplyMode mode : {ApplyMode::RunNow, ApplyMode::Batch}) {
    for (const bool on : {false, true}) {
      fairStart(on, false);
      applyStart(mode, false);
      startOutput();
      vx_doCmd("%s", other);
      fairRules();
      applyFlush();
      std::string out = output();
      // (The batch's own lines: each refused commit runs one line at a time.)
      for (size_t at; (at = out.find("vx_qos: iptables-restore refused the batch: its ")) != std::string::npos;)
        out.erase(at, out.find('\n', at) + 1 - at);
      EXPECT_EQ(out, on ? "vx_qos: fair mode: no dscp: the rest applies\n"
                          "vx_qos: fair mode: no connbytes: the rest applies\n"
                          "vx_qos: fair mode: no CONNMARK: the rest applies\n"
                          "vx_qos: fair mode: no hashlimit: the rest applies\n"
                        : "")
          << on << static_cast<int>(mode);
    }
  }
}

} // namespace
