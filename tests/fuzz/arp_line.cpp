// The kernel's ARP table as hostscout reads it for the MAC of an address that
// came from the network. The first line of the input is the address looked
// for, the rest the table, read line by line.
#include "check.h"

#include "arp.h"

#include <cstring>

namespace {

bool lower_hex(const char *text)
{
  return strspn(text, "0123456789abcdef") == strlen(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 4096)
    return 0;
  std::string text = fuzz_text(data, size);
  size_t newline = text.find('\n');
  std::string address = text.substr(0, newline);
  if (newline == std::string::npos)
    return 0;
  for (const std::string &line : fuzz_split(std::string_view(text).substr(newline + 1), '\n')) {
    char mac[kMacTextSize + 8];
    memset(mac, 'x', sizeof mac);
    bool found = arp_line_mac((line + "\n").c_str(), address.c_str(), mac);
    if (!found) {
      for (char c : mac)
        FUZZ_CHECK(c == 'x');
      continue;
    }
    // Twelve lowercase hex digits, never all zero, and nothing written past them.
    FUZZ_CHECK_TEXT(strlen(mac) == 12 && lower_hex(mac), line);
    FUZZ_CHECK(strcmp(mac, "000000000000") != 0);
    for (size_t i = kMacTextSize; i < sizeof mac; ++i)
      FUZZ_CHECK(mac[i] == 'x');
    // The line's first word is the address.
    FUZZ_CHECK_TEXT(line.find(address) != std::string::npos, line);
  }
  return 0;
}
