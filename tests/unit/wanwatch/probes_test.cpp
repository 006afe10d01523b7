// The probes' reading of their report files, and the interface address.
#include <gtest/gtest.h>

#include "tick.h"
#include "wanwatch_seams.h"

#include "tempdir.h"

#include <arpa/inet.h>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// One report file in a private directory.
class ReportFile : public ::testing::Test {
protected:
  void SetUp() override { resetTickState(); }
  const char *write(const std::string &text)
  {
    dir_.write("report", text);
    return path_.c_str();
  }
  const char *missing()
  {
    unlink(path_.c_str());
    return path_.c_str();
  }
  TempDir dir_;
  const std::string path_ = dir_.file("report");
};

} // namespace

TEST_F(ReportFile, PortReportIsDownWhenTheRegisterReadsZero)
{
  struct Case {
    std::string report;
    int up;
  } cases[] = {
      {"Get: phy[4].reg[5] = 0000\n", 0},
      {"Get: phy[4].reg[5] = 45e1\n", 1},
      {"Get: phy[4].reg[5] = 100001\n", 0}, // inside a longer run of digits
      {"000\n0", 1},
      {std::string("ab\0" "0000", 7), 0}, // every byte read counts
      {std::string(124, 'x') + "0000", 0},  // the last four of 128 bytes
      {std::string(125, 'x') + "0000", 1},  // beyond the 128 bytes read
  };
  for (const Case &c : cases) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(readPortReport(write(c.report)), c.up) << c.report;
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  }
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(readPortReport(write("")), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "indicate error: Cannot read the result of  /tmp/WANstatus !!!\n");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(readPortReport(missing()), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "indicate error: Cannot open /tmp/WANstatus!!!\n");
}

TEST_F(ReportFile, SwitchPortGoesToTheControlFileAsBareDecimal)
{
  ::testing::internal::CaptureStdout();
  selectGmacPort(write(""), 4);
  // A control file that opens but refuses the write is not a missing one.
  selectGmacPort("/dev/full", 4);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(dir_.read("report"), "4");

  ::testing::internal::CaptureStdout();
  selectGmacPort(dir_.file("none/gmac").c_str(), 4);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "indicate error: Cannot open /proc/rt3052/ or /proc/rt3352/  gmac file !!!\n");
}

TEST_F(ReportFile, AccessPointIsAWordOfSeventeenCharacters)
{
  struct Case {
    std::string report;
    int associated;
    const char *essid;
  } cases[] = {
      {"00:11:22:33:44:55   \n", 1, "00:11:22:33:44:55"},
      {"  \t66:77:88:99:AA:BB Bit Rate\n", 1, "66:77:88:99:AA:BB"},
      {"abcdefghijklmnopq", 1, "abcdefghijklmnopq"}, // only the length counts
      {"Not-Associated\n", 0, "00:00:00:00:00:00"},
      {"00:11:22:33:44:55:6\n", 0, "00:00:00:00:00:00"},
      {"00:11:22:33:44:5\n", 0, "00:00:00:00:00:00"},
      {"", 0, "00:00:00:00:00:00"},
      {"\n\n", 0, "00:00:00:00:00:00"},
      // A word cut by the end of what is read is not taken for an address.
      {std::string(110, ' ') + "00:11:22:33:44:55:66:77", 0, "00:00:00:00:00:00"},
  };
  for (const Case &c : cases) {
    resetTickState();
    EXPECT_EQ(readAccessPoint(write(c.report)), c.associated) << c.report;
    EXPECT_STREQ(new_wisp_essid, c.essid) << c.report;
  }
  // A failed probe keeps the last address.
  readAccessPoint(write("00:11:22:33:44:55\n"));
  EXPECT_EQ(readAccessPoint(write("Not-Associated\n")), 0);
  EXPECT_EQ(readAccessPoint(missing()), 0);
  EXPECT_STREQ(new_wisp_essid, "00:11:22:33:44:55");
}

// The kernel's answer: the address below, in the family below, or a failure;
// the interface each request named.
struct AddressAnswer {
  int family = AF_INET;
  const char *address = "10.20.30.40";
  int rc = 0;
  std::vector<std::string> asked;
};
AddressAnswer g_answer;

int fakeAddress(ifreq *request)
{
  g_answer.asked.emplace_back(request->ifr_name);
  if (g_answer.rc < 0)
    return -1;
  sockaddr_in addr{};
  addr.sin_family = static_cast<sa_family_t>(g_answer.family);
  inet_pton(AF_INET, g_answer.address, &addr.sin_addr);
  memcpy(&request->ifr_addr, &addr, sizeof addr);
  return 0;
}

class InterfaceAddress : public ::testing::Test {
protected:
  void SetUp() override
  {
    g_answer = AddressAnswer{};
    set_ifaddr_source(fakeAddress);
  }
  void TearDown() override { set_ifaddr_source(nullptr); }
};

TEST_F(InterfaceAddress, DottedTextOfTheNamedInterface)
{
  char ip[16] = "untouched";
  EXPECT_EQ(getIfIp("eth2.2", ip, sizeof ip), 0);
  EXPECT_STREQ(ip, "10.20.30.40");
  g_answer.address = "255.255.255.255"; // the longest text fits 16 bytes
  EXPECT_EQ(getIfIp("ppp0", ip, sizeof ip), 0);
  EXPECT_STREQ(ip, "255.255.255.255");
  EXPECT_EQ(g_answer.asked, (std::vector<std::string>{"eth2.2", "ppp0"}));
}

TEST_F(InterfaceAddress, FailuresLeaveTheBufferUntouched)
{
  char ip[16] = "untouched";
  g_answer.rc = -1;
  EXPECT_EQ(getIfIp("eth2.2", ip, sizeof ip), -1);
  g_answer = AddressAnswer{};
  g_answer.family = AF_INET6;
  EXPECT_EQ(getIfIp("eth2.2", ip, sizeof ip), -1);
  g_answer = AddressAnswer{};
  char small[8] = "small";
  EXPECT_EQ(getIfIp("eth2.2", small, sizeof small), -1);
  // a name the kernel cannot hold is never asked for, cut or not
  EXPECT_EQ(getIfIp("a-name-longer-than-the-kernel-takes", ip, sizeof ip), -1);
  EXPECT_EQ(getIfIp("sixteen-chars-00", ip, sizeof ip), -1);
  EXPECT_STREQ(ip, "untouched");
  EXPECT_STREQ(small, "small");
  EXPECT_EQ(g_answer.asked, std::vector<std::string>{"eth2.2"});
}

TEST(InterfaceAddressFromKernel, UnknownInterfaceIsRefused)
{
  char ip[16] = "untouched";
  EXPECT_EQ(getIfIp("nosuchif0", ip, sizeof ip), -1);
  EXPECT_STREQ(ip, "untouched");
}
