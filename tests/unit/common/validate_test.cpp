#include <gtest/gtest.h>

#include "validate.h"

TEST(Validate, DottedAddresses)
{
  for (const char *ok : {"0.0.0.0", "192.168.1.20", "255.255.255.255", "10.0.0.1"})
    EXPECT_TRUE(is_dotted_ipv4(ok)) << ok;
  for (const char *bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4 ", "1..2.3", "1.2.3.4;reboot",
                          "0001.2.3.4", "010.001.0.1", "1.2.3.04", "00.0.0.0", "a.b.c.d", "1.2.3.-4", "$(x)"})
    EXPECT_FALSE(is_dotted_ipv4(bad)) << bad;
  EXPECT_FALSE(is_dotted_ipv4(nullptr));
  EXPECT_TRUE(is_address_chars(""));
  EXPECT_TRUE(is_address_chars("255.255.255.0"));
  EXPECT_FALSE(is_address_chars("1.1.1.1/0 -j DROP"));
}

TEST(Validate, PortsRangesAndProtocols)
{
  for (const char *ok : {"0", "80", "65535"})
    EXPECT_TRUE(is_port(ok)) << ok;
  for (const char *bad : {"", "65536", "-1", "8o", "80 ", "1e3", "010", "00"}) // iptables reads 010 as 8
    EXPECT_FALSE(is_port(bad)) << bad;
  for (const char *ok : {"800", "6113:6119", "0:65535", "80:80"})
    EXPECT_TRUE(is_port_range(ok)) << ok;
  for (const char *bad : {"", ":80", "80:", "90:80", "1:2:3", "80;x", "80:70000", "010:12", "10:012"})
    EXPECT_FALSE(is_port_range(bad)) << bad;
  for (const char *ok : {"tcp", "udp", "icmp", "47", "255", "ipv6-icmp"})
    EXPECT_TRUE(is_protocol(ok)) << ok;
  for (const char *bad : {"", "256", "017", "tcp;", "-p", "t cp", "`id`", "dscp", "DScp", "1cp", "tc_p"})
    EXPECT_FALSE(is_protocol(bad)) << bad;
}
