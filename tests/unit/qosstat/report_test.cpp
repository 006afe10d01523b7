// Naming classes by the numbering plan, and the two output forms.
#include "names.h"
#include "report.h"

#include <gtest/gtest.h>
#include <linux/pkt_sched.h>
#include <string>

namespace {

std::string purpose(uint32_t classid)
{
  char buf[64];
  classPurpose(classid, buf, sizeof buf);
  return buf;
}

template <typename Print> std::string printed(Print print)
{
  char buf[4096] = {};
  FILE *out = fmemopen(buf, sizeof buf - 1, "w");
  print(out);
  fclose(out);
  return buf;
}

} // namespace

TEST(ClassNames, FollowTheNumberingPlan)
{
  struct Case {
    uint32_t classid;
    const char *name;
  } cases[] = {
      {0x10001, "root"},
      {0x30002, "default, high priority"},
      {0x50004, "default, low priority"},
      {0x10006, "default, lowest priority (CS1)"},
      {0x30008, "xboxlive TCP to LAN"},
      {0x10012, "xboxlive UDP to WAN"}, // mark 12 is minor 0x12
      {0x10032, "bnet to WAN"},
      {0x30056, "bittorrent to LAN"},
      {0x30060, "email pop3 to LAN"},
      {0x10060, "email pop3 to WAN"}, // the mail extra class
      {0x50061, "email smtp to WLAN"},
      {0x10070, "user rule 0 to WAN"},
      {0x30087, "user rule 7 to LAN"},
      {0x50083, "user rule 3 to LAN"}, // the wireless copy
      {0x10009, ""},                   // no such mark
      {0x1000a, ""},                   // not a decimal mark
      {0x70001, ""},                   // not a QoS tree
  };
  for (const Case &c : cases)
    EXPECT_EQ(purpose(c.classid), c.name) << std::hex << c.classid;
}

TEST(ClassNames, HandlesAsTcWritesThem)
{
  char buf[16];
  handleText(0x10070, buf, sizeof buf);
  EXPECT_STREQ(buf, "1:70");
  handleText(0x30000, buf, sizeof buf);
  EXPECT_STREQ(buf, "3:");
}

class Reports : public ::testing::Test {
protected:
  // Listed out of order, as a dump may bring them.
  TcClass classes[3] = {
      {0x10070, 0x10001, 1250, 256000, 2, 240, 5, 0, 1, true, 60, 1},
      {0x10001, TC_H_ROOT, 256000, 256000, 0, 300, 6, 0, 0, false, 0, 0}, // as HTB reports its root class
      {0x10002, 0x10001, 1250, 256000, 1, 60, 1, 2, 0, false, 0, 0},
  };
  DeviceTree tree{"eth2.2", 0x10000, classes, 3};
};

TEST_F(Reports, TextShowsEachClassUnderItsParent)
{
  EXPECT_EQ(printed([this](FILE *out) { printTreeText(out, tree); }),
            "eth2.2: WAN HTB tree 1:\n"
            "  class       for                          rate   ceil prio        bytes    packets    drops overlimits\n"
            "  1:1         root                         2048   2048    0          300          6        0          0\n"
            "    1:2       default, high priority         10   2048    1           60          1        2          0\n"
            "    1:70      user rule 0 to WAN             10   2048    2          240          5        0          1"
            "  now 480 bit/s 1 pkt/s\n");
}

TEST_F(Reports, JsonHoldsEveryFieldAndEscapesTheDeviceName)
{
  tree.device = "we\"ird\\";
  tree.count = 2;
  std::string json = printed([this](FILE *out) {
    printJsonBegin(out);
    printTreeJson(out, tree, true);
    printJsonEnd(out);
  });
  EXPECT_EQ(json, "{\"devices\": [\n"
                  "  {\"device\": \"we\\\"ird\\\\\", \"role\": \"WAN\", \"handle\": \"1:\", \"classes\": [\n"
                  "    {\"id\": \"1:1\", \"parent\": \"root\", \"name\": \"root\", \"rate_kbit\": 2048, "
                  "\"ceil_kbit\": 2048, \"prio\": 0, \"bytes\": 300, \"packets\": 6, \"drops\": 0, \"overlimits\": 0},\n"
                  "    {\"id\": \"1:70\", \"parent\": \"1:1\", \"name\": \"user rule 0 to WAN\", \"rate_kbit\": 10, "
                  "\"ceil_kbit\": 2048, \"prio\": 2, \"bytes\": 240, \"packets\": 5, \"drops\": 0, \"overlimits\": 1, "
                  "\"rate_now_bit\": 480, \"rate_now_pkt\": 1}]}]}\n");
}
