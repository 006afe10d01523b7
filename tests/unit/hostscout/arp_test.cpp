#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "arp.h"
#include "hostscout_seams.h"
#include "recorder.h"
#include "tempdir.h"

namespace {

TEST(ArpLine, PicksTheMacOfACompleteEthernetEntry)
{
  const struct {
    const char *line;
    const char *address;
    const char *mac; // nullptr: no MAC from this line
  } cases[] = {
      {"192.168.1.20     0x1         0x2         02:42:ac:11:00:02     *        br0\n", "192.168.1.20",
       "0242ac110002"},
      {"192.168.1.20     0x1         0x6         00:1A:2B:C3:D4:FF     *        br0\n", "192.168.1.20",
       "001a2bc3d4ff"},
      {"192.168.1.20     0x1         0x2         02:42:ac:11:00:02     *        br0", "192.168.1.20",
       "0242ac110002"},
      // The address column must be the address, not begin with it.
      {"192.168.1.200    0x1         0x2         02:42:ac:11:00:02     *        br0\n", "192.168.1.20",
       nullptr},
      {"192.168.1.2      0x1         0x2         02:42:ac:11:00:02     *        br0\n", "192.168.1.20",
       nullptr},
      // A host that never answered: no MAC yet.
      {"192.168.1.20     0x1         0x0         00:00:00:00:00:00     *        br0\n", "192.168.1.20",
       nullptr},
      {"192.168.1.20     0x1         0x0         02:42:ac:11:00:02     *        br0\n", "192.168.1.20",
       nullptr},
      {"192.168.1.20     0x1         0x2         00:00:00:00:00:00     *        br0\n", "192.168.1.20",
       nullptr},
      {"192.168.1.20     0x20        0x2         02:42:ac:11:00:02     *        ib0\n", "192.168.1.20",
       nullptr},
      {"IP address       HW type     Flags       HW address            Mask     Device\n", "192.168.1.20",
       nullptr},
      {"192.168.1.20     0x1         0x2         02:42:ac:11:00\n", "192.168.1.20", nullptr},
      {"192.168.1.20     0x1         0x2         02-42-ac-11-00-02     *        br0\n", "192.168.1.20",
       nullptr},
      {"192.168.1.20     0x1         0x2         0g:42:ac:11:00:02     *        br0\n", "192.168.1.20",
       nullptr},
      {"", "192.168.1.20", nullptr},
      {"192.168.1.20\n", "192.168.1.20", nullptr},
  };
  for (const auto &c : cases) {
    char mac[kMacTextSize] = {};
    bool ok = arp_line_mac(c.line, c.address, mac);
    EXPECT_EQ(ok, c.mac != nullptr) << c.line;
    EXPECT_STREQ(mac, c.mac != nullptr ? c.mac : "") << c.line;
  }
}

} // namespace

namespace {

class ArpLookup : public RecordingTest {
protected:
  TempDir dir;
  const std::string table = dir.file("arp");
};

TEST_F(ArpLookup, PingsOnlyADottedAddressThenReadsItsCompleteEntry)
{
  dir.write("arp", "IP address       HW type     Flags       HW address            Mask     Device\n"
                   "192.168.1.200    0x1         0x2         02:42:ac:11:00:09     *        br0\n"
                   "192.168.1.20     0x1         0x0         00:00:00:00:00:00     *        br0\n"
                   "192.168.1.20     0x1         0x2         02:42:AC:11:00:02     *        br0\n"
                   "192.168.1.20     0x1         0x2         02:42:ac:11:00:03     *        br0\n");
  char mac[30] = {};
  startOutput();
  EXPECT_EQ(get_mac_from_arptable_in(table.c_str(), "192.168.1.20", mac), 0);
  EXPECT_STREQ(mac, "0242ac110002");
  memset(mac, 0, sizeof mac);
  EXPECT_EQ(get_mac_from_arptable_in(table.c_str(), "192.168.1.20;reboot", mac), 0);
  EXPECT_STREQ(mac, "");
  EXPECT_EQ(get_mac_from_arptable_in(table.c_str(), "192.168.1.77", mac), 0);
  EXPECT_STREQ(mac, "");
  dir.remove("arp");
  EXPECT_EQ(get_mac_from_arptable_in(table.c_str(), "192.168.1.20", mac), 0);
  EXPECT_STREQ(mac, "");
  EXPECT_EQ(output(), "ssdp: buf2=0242ac110002\nssdp: buf2=\nssdp: buf2=\n");
  EXPECT_EQ(commands(), (std::vector<std::string>{"ping -c 1 -W 1 192.168.1.20 > /dev/null",
                                                  "ping -c 1 -W 1 192.168.1.77 > /dev/null",
                                                  "ping -c 1 -W 1 192.168.1.20 > /dev/null"}));
}

} // namespace
