#include <gtest/gtest.h>

#include <string>

#include "answer.h"

namespace {

TEST(Answer, OnlyA200AnswerPasses)
{
  for (const char *ok : {"HTTP/1.1 200 OK\r\n", "HTTP/1.1 200", "HTTP/1.1 2000 whatever"})
    EXPECT_TRUE(answer_passes(ok)) << ok;
  for (const char *bad : {"", "HTTP/1.1 20", "HTTP/1.1 404 Not Found\r\n", "HTTP/1.0 200 OK", "http/1.1 200 OK",
                          " HTTP/1.1 200 OK", "NOTIFY * HTTP/1.1\r\n"})
    EXPECT_FALSE(answer_passes(bad)) << bad;
}

TEST(Answer, StorageDevicesByTheirServerString)
{
  EXPECT_TRUE(answer_is_storage("HTTP/1.1 200 OK\r\nSERVER: Linux/2.6 UPnP/1.0 MediabolicUPnP/1.1\r\n"));
  EXPECT_TRUE(answer_is_storage("MediabolicUPnP"));
  EXPECT_FALSE(answer_is_storage("HTTP/1.1 200 OK\r\nSERVER: mediabolicupnp\r\n"));
  EXPECT_FALSE(answer_is_storage("HTTP/1.1 200 OK\r\nSERVER: Mediabolic UPnP\r\n"));
}

TEST(Answer, AddressFromTheUrl)
{
  const struct {
    const char *answer;
    const char *address; // nullptr: not usable
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nLOCATION: http://192.168.1.20:80/desc.xml\r\n", "192.168.1.20"},
      {"LOCATION: http://192.168.1.20/desc.xml\r\nSERVER: x:y\r\n", "192.168.1.20"}, // no port
      {"LOCATION: http://10.0.0.1:49152\r\n", "10.0.0.1"},
      {"LOCATION: http://255.255.255.255:1\r\n", "255.255.255.255"},
      {"A: http://1.2.3.4:1 B: http://5.6.7.8:1", "1.2.3.4"},
      // The first URL decides even when a later one would do.
      {"A: http://nas.local:80/ B: http://5.6.7.8:1", nullptr},
      {"LOCATION: http://192.168.1.20\r\nSERVER: MediabolicUPnP\r\n", nullptr},
      {"LOCATION: http://192.168.1.20", nullptr},
      {"LOCATION: HTTP://192.168.1.20:80/\r\n", nullptr},
      {"no url at all", nullptr},
      {"http://:80/", nullptr},
      {"http://$(reboot):80/", nullptr},
      {"http://1.2.3.4;reboot:80/", nullptr},
      {"http://1.2.3.4`id`:80/", nullptr},
      {"http://1.2.3.4 -p 1000:80/", nullptr},
      {"http://1.2.3.4\n:80/", nullptr},
      {"http://192.168.001.020:80/", nullptr},
      {"http://256.1.1.1:80/", nullptr},
      {"http://1.2.3:80/", nullptr},
      {"http://0.0.0.0:80/", "0.0.0.0"},
      {"http://111111111111111111111111111111111111111:80/", nullptr}, // longer than the field
  };
  for (const auto &c : cases) {
    char out[30];
    bool ok = answer_address(c.answer, out, sizeof out);
    EXPECT_EQ(ok, c.address != nullptr) << c.answer;
    EXPECT_STREQ(out, c.address != nullptr ? c.address : "") << c.answer;
  }
}

TEST(Answer, TextBeyondAnEmbeddedNulIsStillTheAnswer)
{
  std::string answer("HTTP/1.1 200 OK\r\n\0LOCATION: http://1.2.3.4:80/", 45);
  char out[30];
  EXPECT_TRUE(answer_address(answer, out, sizeof out));
  EXPECT_STREQ(out, "1.2.3.4");
  std::string nul_in_address("http://1.2.3\0.4:80/", 19);
  EXPECT_FALSE(answer_address(nul_in_address, out, sizeof out));
}

} // namespace
