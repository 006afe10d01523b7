#include <gtest/gtest.h>

#include <array>
#include <string>

#include "hostscout_seams.h"
#include "known_hosts.h"
#include "leases.h"
#include "recorder.h"
#include "tempdir.h"

namespace {

using Record = std::array<unsigned char, kLeaseRecordSize>;

Record lease(const std::string &name, std::array<unsigned char, 6> mac, std::array<unsigned char, 4> ip,
             std::array<unsigned char, 4> time)
{
  Record r{};
  for (size_t i = 0; i < name.size() && i < 16; ++i)
    r[i] = static_cast<unsigned char>(name[i]);
  for (size_t i = 0; i < 6; ++i)
    r[16 + i] = mac[i];
  for (size_t i = 22; i < 32; ++i)
    r[i] = 0xee; // rest of the hardware address field: never read
  for (size_t i = 0; i < 4; ++i) {
    r[32 + i] = ip[i];
    r[36 + i] = time[i];
  }
  return r;
}

constexpr std::array<unsigned char, 6> kMac{0x00, 0x1A, 0x2b, 0xc3, 0xD4, 0xff};
constexpr std::array<unsigned char, 4> kIp{192, 168, 1, 100};
constexpr std::array<unsigned char, 4> kTime{0, 0, 0x0e, 0x10};

TEST(LeaseRecord, ReadsTheFields)
{
  const struct {
    Record record;
    const char *name;
  } cases[] = {
      {lease("laptop", kMac, kIp, kTime), "laptop"},
      {lease("", kMac, kIp, kTime), ""},
      {lease("exactly16chars!!", kMac, kIp, kTime), "exactly16chars!!"}, // no NUL of its own
      {lease("$(rm -rf /);`x`", kMac, kIp, kTime), "$(rm -rf /);`x`"},
  };
  for (const auto &c : cases) {
    LeaseRecord out;
    ASSERT_TRUE(read_lease_record(c.record.data(), &out));
    EXPECT_STREQ(out.mac, "001a2bc3d4ff");
    EXPECT_STREQ(out.address, "192.168.1.100");
    EXPECT_STREQ(out.name, c.name);
  }
  LeaseRecord out;
  ASSERT_TRUE(read_lease_record(lease("x", kMac, {10, 0, 0, 255}, {0, 0, 0, 1}).data(), &out));
  EXPECT_STREQ(out.address, "10.0.0.255");
}

TEST(LeaseRecord, EmptySlotsAreSkipped)
{
  LeaseRecord out;
  EXPECT_FALSE(read_lease_record(lease("a", {0, 0, 0, 0, 0, 0}, kIp, kTime).data(), &out));
  EXPECT_FALSE(read_lease_record(lease("a", kMac, kIp, {0, 0, 0, 0}).data(), &out));
  EXPECT_TRUE(read_lease_record(lease("a", {0, 0, 0, 0, 0, 1}, kIp, {1, 0, 0, 0}).data(), &out));
}

class KnownHosts : public RecordingTest {
protected:
  TempDir dir;
  int listed(const std::string &content, const char *mac)
  {
    dir.write("lltd_mac", content);
    return mac_listed_in(dir.file("lltd_mac").c_str(), mac);
  }
};

TEST_F(KnownHosts, MatchesTheFirstTwelveCharactersExactly)
{
  EXPECT_EQ(listed("001a2bc3d4ff\n", "001a2bc3d4ff"), 1);
  EXPECT_EQ(listed("aaaaaaaaaaaa\n001a2bc3d4ff extra\n", "001a2bc3d4ff"), 1);
  EXPECT_EQ(listed("001A2BC3D4FF\n", "001a2bc3d4ff"), 0);
  EXPECT_EQ(listed("001a2bc3d4f\n", "001a2bc3d4ff"), 0);
  EXPECT_EQ(listed("", "001a2bc3d4ff"), 0);
  // Read 19 characters at a time: the rest of a long line is looked at too.
  EXPECT_EQ(listed("0123456789012345678001a2bc3d4ff\n", "001a2bc3d4ff"), 1);
  EXPECT_EQ(mac_listed_in(dir.file("missing").c_str(), "001a2bc3d4ff"), 0);
}

TEST_F(KnownHosts, PrintsTheFind)
{
  startOutput();
  listed("001a2bc3d4ff\n", "001a2bc3d4ff");
  listed("nothing\n", "001a2bc3d4ff");
  EXPECT_EQ(output(), "ssdp: Find mac at lltd table\n");
}

} // namespace
