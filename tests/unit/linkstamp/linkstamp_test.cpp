// The link status recorder's probe and its decisions.
#include "linkstamp_seams.h"
#include "recorder.h"

#include "probe.h"
#include "stamps.h"
#include "uptime.h"

#include <climits>
#include <cstring>
#include <string>

TEST(PortReport, FourZerosAnywhereMeanDown)
{
  for (const char *down : {"Get: phy[4].reg[5] = 0000\n", "100001", "0000"})
    EXPECT_EQ(linkFromReport(down, static_cast<ssize_t>(strlen(down))), 0) << down;
  for (const char *up : {"Get: phy[4].reg[5] = 45e1\n", "000 0", "x"})
    EXPECT_EQ(linkFromReport(up, static_cast<ssize_t>(strlen(up))), 1) << up;
  EXPECT_EQ(linkFromReport("45e1 0000", 4), 1); // only the bytes read count
}

TEST(PortReport, UnusableReportIsDownWithItsMessage)
{
  testing::internal::CaptureStdout();
  EXPECT_EQ(linkFromReport("", 0), 0);
  EXPECT_EQ(linkFromReport(nullptr, -1), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "indicate error: Cannot read the result of  /tmp/WANstatus1 !!!\n"
            "indicate error: Cannot open /tmp/WANstatus1!!!\n");
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

TEST(StampMode, OnlyZeroAndOneAct)
{
  char prog[] = "linkstamp";
  auto mode = [&](const char *arg) {
    char *argv[] = {prog, const_cast<char *>(arg), nullptr};
    return stampModeFromArgs(arg != nullptr ? 2 : 1, argv);
  };
  EXPECT_EQ(mode("0"), StampMode::AllLinks);
  EXPECT_EQ(mode("1"), StampMode::WanOnly);
  for (const char *other : {"2", "00", "01", "", " 1"})
    EXPECT_EQ(mode(other), StampMode::None) << other;
  EXPECT_EQ(mode(nullptr), StampMode::None);
}

TEST(WanLinkFile, NumberAtItsStartTellsThePreviousState)
{
  for (const char *down : {"0\n", "00", "", "abc", "0x10"})
    EXPECT_EQ(wanWasUp(down), 0) << down;
  // Far beyond an int still counts as a number other than 0, without overflow.
  for (const char *up : {"1234\n", "  7", "-3", "12abc", "99999999999999999999999999"})
    EXPECT_EQ(wanWasUp(up), 1) << up;
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
