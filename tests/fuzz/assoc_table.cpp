// The wireless driver's association table (an entry count in host byte order,
// then 32 entries of 44 bytes) as hostscout looks a station up in it. The first
// byte chooses the station looked for: the MAC of that entry (mod 33; 32 is a
// MAC from the input's last bytes); the rest is the table, cut or padded with
// zero bytes to its size.
#include "check.h"

#include "mac_text.h"
#include "hostscout_seams.h"
#include "wireless.h"

#include <cstdint>
#include <cstring>

namespace {

unsigned char g_table[kAssocTableSize];

int input_table(unsigned char *table, size_t size)
{
  FUZZ_CHECK(size >= kAssocTableSize);
  memcpy(table, g_table, sizeof g_table);
  return 0;
}

const unsigned char *entry_mac(const unsigned char *table, int i)
{
  return table + 4 + kAssocEntrySize * static_cast<size_t>(i) + 1;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  fuzz_quiet_stdout();
  set_assoc_table_source(input_table);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 1 || size > kAssocTableSize + 64)
    return 0;
  memset(g_table, 0, sizeof g_table);
  memcpy(g_table, data + 1, size - 1 < sizeof g_table ? size - 1 : sizeof g_table);

  int which = data[0] % 33;
  char mac[kMacTextSize];
  if (which < kAssocTableEntries) {
    format_mac_text(entry_mac(g_table, which), mac);
  } else {
    unsigned char tail[6] = {};
    memcpy(tail, data + size - (size >= 7 ? 6 : size - 1), size >= 7 ? 6 : size - 1);
    format_mac_text(tail, mac);
  }
  FUZZ_CHECK(strlen(mac) == 12);

  // Found exactly when one of the entries the count covers (at most 32) holds it.
  int32_t count;
  memcpy(&count, g_table, sizeof count);
  int expected = 0;
  for (int i = 0; i < count && i < kAssocTableEntries; ++i) {
    char station[kMacTextSize];
    format_mac_text(entry_mac(g_table, i), station);
    if (strcmp(station, mac) == 0)
      expected = 1;
  }
  FUZZ_CHECK(find_in_assoc_table(g_table, mac) == expected);
  FUZZ_CHECK(checkmac_wireless(mac) == expected);
  return 0;
}
