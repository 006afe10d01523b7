// The PPP session report: whether it says a session is up, and on which
// interface.
#include <gtest/gtest.h>

#include "pppsession.h"
#include "tempdir.h"

#include <string>

TEST(PppSession, UpOnlyWithALeadingOneAndOnAPlainInterfaceName)
{
  struct Case {
    std::string text;
    bool up;
    const char *ifname;
  } cases[] = {
      {"1", true, "ppp0"},
      {"1\n", true, "ppp0"},
      {"10", true, "ppp0"},
      {"1 \n", true, "ppp0"},
      {"0", false, "ppp0"},
      {"", false, "ppp0"},
      {" 1", false, "ppp0"},
      {"2", false, "ppp0"},
      {"0 ppp1\n", false, "ppp0"},
      {"1 ppp1\n", true, "ppp1"},
      {"1  ppp2 x", true, "ppp2"},
      {"1 ppp3\r\n", true, "ppp3"},
      {"1 wan_1.2-x", true, "wan_1.2-x"},
      {std::string("1 ppp4\0ppp5", 11), true, "ppp4"},
      {"1 abcdefghijklmno\n", true, "abcdefghijklmno"},
      // No name that could reach a command line as anything but a name.
      {"1 abcdefghijklmnop\n", false, "ppp0"},
      {"1 ppp1;reboot\n", false, "ppp0"},
      {"1 $(reboot)\n", false, "ppp0"},
      {"1 ppp1'\n", false, "ppp0"},
      {"1 -a\n", false, "ppp0"},
      {"1 ../x\n", false, "ppp0"},
  };
  TempDir dir;
  const std::string path = dir.file("link");
  for (const Case &c : cases) {
    dir.write("link", c.text);
    char ifname[IFNAMSIZ] = "unchanged";
    EXPECT_EQ(ppp_session_at(path.c_str(), ifname), c.up) << c.text;
    EXPECT_STREQ(ifname, c.ifname) << c.text;
  }
  dir.remove("link");
  char ifname[IFNAMSIZ] = "unchanged";
  EXPECT_FALSE(ppp_session_at(path.c_str(), ifname));
  EXPECT_STREQ(ifname, "ppp0");
}
