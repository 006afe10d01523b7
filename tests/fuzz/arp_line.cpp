// The kernel's ARP table as hostscout reads it for the MAC of an address that
// came from the network: the first line of the input is the address looked
// for, the rest the table. Each line is checked on its own, then the table
// is walked from memory in fgets-like pieces as the program reads the file.
#include "check.h"

#include "arp.h"
#include "hostscout_seams.h"
#include "pieces.h"

#include <cstring>

namespace {

bool lower_hex(const char *text)
{
  return strspn(text, "0123456789abcdef") == strlen(text);
}

// The MAC of one line, checked: twelve lowercase hex digits, never all zero,
// nothing written past them. Empty when the line is not the address's entry.
std::string line_mac(const char *line, const std::string &address)
{
  char mac[kMacTextSize + 8];
  memset(mac, 'x', sizeof mac);
  if (!arp_line_mac(line, address.c_str(), mac)) {
    for (char c : mac)
      FUZZ_CHECK(c == 'x');
    return "";
  }
  FUZZ_CHECK_TEXT(strlen(mac) == 12 && lower_hex(mac), line);
  FUZZ_CHECK(strcmp(mac, "000000000000") != 0);
  for (size_t i = kMacTextSize; i < sizeof mac; ++i)
    FUZZ_CHECK(mac[i] == 'x');
  FUZZ_CHECK_TEXT(strstr(line, address.c_str()) != nullptr, line);
  return mac;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 4096)
    return 0;
  const char *text = reinterpret_cast<const char *>(data);
  const void *newline = memchr(data, '\n', size);
  if (newline == nullptr)
    return 0;
  size_t first = static_cast<size_t>(static_cast<const char *>(newline) - text);
  std::string address = fuzz_text(data, first);
  const char *table = text + first + 1;
  size_t len = size - first - 1;

  // The pieces as fgets would give them with the program's 160-byte line:
  // each fits, and together they are the table.
  PieceReader reader(table, len);
  char piece[160];
  size_t at = 0;
  std::string expected;
  for (size_t n; (n = reader.next(piece, sizeof piece)) > 0; at += n) {
    FUZZ_CHECK(n <= sizeof piece - 1 && piece[n] == '\0');
    FUZZ_CHECK(at + n <= len && memcmp(piece, table + at, n) == 0);
    const char *nl = static_cast<const char *>(memchr(piece, '\n', n));
    FUZZ_CHECK(nl == nullptr || nl == piece + n - 1);
    FUZZ_CHECK(nl != nullptr || n == sizeof piece - 1 || at + n == len);
    if (expected.empty())
      expected = line_mac(piece, address);
  }
  FUZZ_CHECK(at == len);

  // The first entry for the address wins.
  char mac[kMacTextSize] = {};
  arp_table_mac(table, len, address.c_str(), mac);
  FUZZ_CHECK_TEXT(expected == mac, mac);
  return 0;
}
