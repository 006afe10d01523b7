// The link status recorder's probe, its mode and file decisions.
#include "recorder.h"

#include "probe.h"
#include "stamps.h"
#include "uptime.h"

#include <climits>
#include <cstring>
#include <string>

TEST(PortReport, FourZerosAnywhereMeanDown)
{
  struct Case {
    const char *report;
    int link;
  } cases[] = {
      {"Get: phy[4].reg[5] = 0000\n", 0}, {"Get: phy[4].reg[5] = 45e1\n", 1}, {"100001", 0},
      {"0000", 0},                        {"000 0", 1},                        {"x", 1},
      {"Get: phy[4].reg[5] = 0001\n", 1}, {"\n", 1},
  };
  for (const Case &c : cases)
    EXPECT_EQ(linkFromReport(c.report, static_cast<ssize_t>(strlen(c.report))), c.link) << c.report;
  // Only the bytes read count.
  EXPECT_EQ(linkFromReport("45e1 0000", 4), 1);
}

TEST(PortReport, UnusableReportIsDownWithItsMessage)
{
  testing::internal::CaptureStdout();
  EXPECT_EQ(linkFromReport("", 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "indicate error: Cannot read the result of  /tmp/WANstatus1 !!!\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(linkFromReport(nullptr, -1), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "indicate error: Cannot open /tmp/WANstatus1!!!\n");
}

class LinkstampCommands : public RecordingTest {};

TEST_F(LinkstampCommands, ProbeAsksThePortsPhy)
{
  startOutput();
  getWANPortLinkStatus();
  getPortLinkStatus(2);
  output();
  EXPECT_EQ(commands(), (std::vector<std::string>{"mii_mgr -g -p 4 -r 5 > /tmp/WANstatus1",
                                                  "mii_mgr -g -p 2 -r 5 > /tmp/WANstatus1"}));
}

TEST_F(LinkstampCommands, WanLinkDownIsOnlyTheEcho)
{
  writeWANLinkTime(0);
  EXPECT_EQ(commands(), std::vector<std::string>{"echo 0 > /var/wan_link"});
}

TEST(StampMode, OnlyZeroAndOneAct)
{
  struct Case {
    std::vector<const char *> args;
    StampMode mode;
  } cases[] = {
      {{"linkstamp"}, StampMode::None},          {{"linkstamp", "0"}, StampMode::AllLinks},
      {{"linkstamp", "1"}, StampMode::WanOnly},  {{"linkstamp", "1", "0"}, StampMode::WanOnly},
      {{"linkstamp", "2"}, StampMode::None},     {{"linkstamp", "00"}, StampMode::None},
      {{"linkstamp", "01"}, StampMode::None},    {{"linkstamp", ""}, StampMode::None},
      {{"linkstamp", " 1"}, StampMode::None},    {{"linkstamp", "1\n"}, StampMode::None},
  };
  for (Case &c : cases) {
    std::vector<char *> argv;
    for (const char *a : c.args)
      argv.push_back(const_cast<char *>(a));
    argv.push_back(nullptr);
    EXPECT_EQ(stampModeFromArgs(static_cast<int>(c.args.size()), argv.data()), c.mode)
        << (c.args.size() > 1 ? c.args[1] : "(none)");
  }
  EXPECT_EQ(stampModeFromArgs(0, nullptr), StampMode::None);
}

TEST(WanLinkFile, NumberAtItsStartTellsThePreviousState)
{
  struct Case {
    const char *text;
    int up;
  } cases[] = {
      {"0\n", 0},   {"00\n", 0},  {"+0", 0},     {"", 0},      {"abc", 0},  {"0x10", 0}, {"\n7", 1},
      {"1234\n", 1}, {"  7 ", 1}, {"-3", 1},     {"12abc", 1},
      // Far beyond an int: still a number that is not 0, and no overflow.
      {"99999999999999999999999999\n", 1}, {"-99999999999999999999999999", 1},
  };
  for (const Case &c : cases)
    EXPECT_EQ(wanWasUp(c.text), c.up) << c.text;
}

TEST(Radio, OnlyZeroMeansOn)
{
  EXPECT_TRUE(radioIsOn("0"));
  for (const char *off : {"1", "", "00", " 0", "0 ", "off"})
    EXPECT_FALSE(radioIsOn(off)) << off;
  EXPECT_FALSE(radioIsOn(nullptr));
}

TEST(Stamp, UptimeLineFitsEveryValue)
{
  for (unsigned long uptime : {0UL, 4242UL, ULONG_MAX}) {
    char text[kStampSize];
    std::string expected = std::to_string(uptime) + "\n";
    EXPECT_EQ(formatStamp(text, uptime), expected.size());
    EXPECT_EQ(std::string(text), expected);
  }
}
