#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "recorder.h"
#include "hostscout_seams.h"
#include "wireless.h"

namespace {

struct Table {
  int32_t count = 0;
  std::vector<std::string> macs; // 12 hex digits each
};

Table g_table;
bool g_fail = false;
int g_fetches = 0;

int fake_driver(unsigned char *table, size_t size)
{
  ++g_fetches;
  if (g_fail)
    return -1;
  // Like the driver: the whole table, whatever `size` says.
  EXPECT_GE(size, kAssocTableSize);
  memcpy(table, &g_table.count, 4);
  for (size_t i = 0; i < g_table.macs.size(); ++i) {
    unsigned char *entry = table + 4 + 44 * i;
    entry[0] = 0x77; // not part of the address
    for (size_t b = 0; b < 6; ++b)
      entry[1 + b] = static_cast<unsigned char>(std::stoi(g_table.macs[i].substr(b * 2, 2), nullptr, 16));
    entry[7] = 0x55;
  }
  return 0;
}

class Association : public RecordingTest {
protected:
  void SetUp() override
  {
    RecordingTest::SetUp();
    set_assoc_table_source(fake_driver);
    g_table = Table{};
    g_fail = false;
    g_fetches = 0;
  }
  void TearDown() override
  {
    set_assoc_table_source(nullptr);
    RecordingTest::TearDown();
  }
};

std::string mac_of(int i)
{
  char buf[13];
  snprintf(buf, sizeof buf, "0000000000%02x", static_cast<unsigned>(i) & 0xffu);
  return buf;
}

TEST_F(Association, PrintsEveryEntryUpToTheMatch)
{
  g_table = Table{3, {"aabbccddeeff", "001a2bc3d4ff", "112233445566"}};
  startOutput();
  EXPECT_EQ(checkmac_wireless("001a2bc3d4ff"), 1);
  EXPECT_EQ(output(), "ssdp: s_buf=aabbccddeeff\n"
                      "ssdp: s_buf=001a2bc3d4ff\n"
                      "ssdp: 001a2bc3d4ff is wireless client\n");
}

TEST_F(Association, CountDecidesWhichEntriesAreLookedAt)
{
  const struct {
    int32_t count;
    int entries;
    const char *mac;
    int result;
    int lines;
  } cases[] = {
      {0, 3, "000000000001", 0, 0},
      {-5, 3, "000000000001", 0, 0},
      {1, 3, "000000000001", 0, 1},             // the match lies beyond the count
      {2, 3, "000000000001", 1, 3},
      {32, 32, "00000000001f", 1, 33},          // the 32nd entry
      {1000, 32, "0000000000ff", 0, 32},        // never past the 32nd, whatever the driver says
      {INT32_MAX, 32, "00000000001f", 1, 33},
      {64, 64, "000000000028", 0, 32},          // a driver's table for 64 stations
  };
  for (const auto &c : cases) {
    g_table = Table{c.count, {}};
    for (int i = 0; i < c.entries; ++i)
      g_table.macs.push_back(mac_of(i));
    startOutput();
    EXPECT_EQ(checkmac_wireless(c.mac), c.result) << c.count << " " << c.mac;
    std::string out = output();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), c.lines) << c.count << " " << c.mac;
  }
}

TEST_F(Association, UppercaseNeverMatches)
{
  g_table = Table{1, {"aabbccddeeff"}};
  startOutput();
  EXPECT_EQ(checkmac_wireless("AABBCCDDEEFF"), 0);
  output();
}

TEST_F(Association, DriverFailureIsReported)
{
  g_fail = true;
  startOutput();
  EXPECT_EQ(checkmac_wireless("001a2bc3d4ff"), -1);
  EXPECT_EQ(output(), "");
  EXPECT_EQ(g_fetches, 1);
}

} // namespace
