// Kernel messages into class records.
#include "netlink_builder.h"
#include "tc_class.h"

#include <gtest/gtest.h>
#include <linux/gen_stats.h>
#include <linux/pkt_sched.h>

namespace {

tc_htb_opt htbParms(uint32_t rate, uint32_t ceil, uint32_t prio)
{
  tc_htb_opt opt{};
  opt.rate.rate = rate;
  opt.ceil.rate = ceil;
  opt.prio = prio;
  return opt;
}

// What the kernel sends for class 1:70 (10 kbit, ceil 2048 kbit, prio 2).
TcMessage leafMessage()
{
  TcMessage m(RTM_NEWTCLASS, 0x10070, 0x10001);
  gnet_stats_basic basic{};
  basic.bytes = 0x123456789aULL;
  basic.packets = 5;
  gnet_stats_queue queue{};
  queue.drops = 3;
  queue.overlimits = 9;
  m.kind("htb").open(TCA_OPTIONS).attr(TCA_HTB_PARMS, htbParms(1250, 256000, 2)).close();
  m.open(TCA_STATS2).attr(TCA_STATS_BASIC, basic).attr(TCA_STATS_QUEUE, queue).close();
  return m;
}

} // namespace

TEST(DecodeClass, HtbClassGivesIdsRatesAndCounters)
{
  TcMessage m = leafMessage();
  TcClass c;
  ASSERT_TRUE(decodeClass(m.msg(), &c));
  EXPECT_EQ(c.id, 0x10070u);
  EXPECT_EQ(c.parent, 0x10001u);
  EXPECT_EQ(c.rate, 1250u);
  EXPECT_EQ(c.ceil, 256000u);
  EXPECT_EQ(c.prio, 2u);
  EXPECT_EQ(c.bytes, 0x123456789aULL);
  EXPECT_EQ(c.packets, 5u);
  EXPECT_EQ(c.drops, 3u);
  EXPECT_EQ(c.overlimits, 9u);
  EXPECT_FALSE(c.hasRateNow);
}

TEST(DecodeClass, WideAttributesWinAndAnEstimatorGivesTheRateNow)
{
  TcMessage m(RTM_NEWTCLASS, 0x10001, 0x10000);
  uint64_t rate64 = 6000000000ULL;
  uint64_t packets64 = 5000000000ULL;
  gnet_stats_basic basic{};
  basic.bytes = 1;
  basic.packets = 705032704; // packets64 cut to 32 bits
  gnet_stats_rate_est64 est{};
  est.bps = 60;
  est.pps = 1;
  m.kind("htb").open(TCA_OPTIONS).attr(TCA_HTB_PARMS, htbParms(~0u, ~0u, 0)).attr(TCA_HTB_RATE64, rate64);
  m.attr(TCA_HTB_CEIL64, rate64).close();
  m.open(TCA_STATS2).attr(TCA_STATS_BASIC, basic).attr(TCA_STATS_PKT64, packets64).attr(TCA_STATS_RATE_EST64, est);
  m.close();
  TcClass c;
  ASSERT_TRUE(decodeClass(m.msg(), &c));
  EXPECT_EQ(c.rate, rate64);
  EXPECT_EQ(c.ceil, rate64);
  EXPECT_EQ(c.packets, packets64);
  ASSERT_TRUE(c.hasRateNow);
  EXPECT_EQ(c.rateNow, 60u);
  EXPECT_EQ(c.packetsNow, 1u);
}

TEST(DecodeClass, OtherKindsTypesAndShortMessagesAreNoHtbClass)
{
  TcClass c;
  TcMessage sfq(RTM_NEWTCLASS, 0x180001, 0x10070);
  sfq.kind("sfq");
  EXPECT_FALSE(decodeClass(sfq.msg(), &c));
  TcMessage qdisc(RTM_NEWQDISC, 0x10000, TC_H_ROOT);
  qdisc.kind("htb");
  EXPECT_FALSE(decodeClass(qdisc.msg(), &c));
  TcMessage shortOne = leafMessage();
  EXPECT_FALSE(decodeClass(shortOne.cutTo(NLMSG_LENGTH(sizeof(tcmsg)) - 1), &c));
  // Attributes cut off by the message's length are not read past it.
  TcMessage cut = leafMessage();
  ASSERT_TRUE(decodeClass(cut.cutTo(NLMSG_LENGTH(sizeof(tcmsg)) + RTA_SPACE(4) + 8), &c));
  EXPECT_EQ(c.rate, 0u);
}

TEST(DecodeRootQdisc, OnlyADevicesRootCountsAndItsKindIsKept)
{
  TcRootQdisc root;
  TcMessage htb(RTM_NEWQDISC, 0x30000, TC_H_ROOT, 4);
  htb.kind("htb");
  ASSERT_TRUE(decodeRootQdisc(htb.msg(), &root));
  EXPECT_EQ(root.ifindex, 4);
  EXPECT_EQ(root.handle, 0x30000u);
  EXPECT_TRUE(root.htb);
  TcMessage fifo(RTM_NEWQDISC, 0x20000, TC_H_ROOT);
  fifo.kind("pfifo");
  ASSERT_TRUE(decodeRootQdisc(fifo.msg(), &root));
  EXPECT_FALSE(root.htb);
  TcMessage leafQueue(RTM_NEWQDISC, 0x1700000, 0x10070);
  leafQueue.kind("htb");
  EXPECT_FALSE(decodeRootQdisc(leafQueue.msg(), &root));
}
