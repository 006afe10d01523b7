#include "wireless.h"
#include "hostscout_seams.h"

#include "mac_text.h"
#include "netioctl.h"
#include "tagged.h"

#include <cstdint>
#include <cstring>
#include <net/if.h>
#include <linux/wireless.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

static_assert(4 + kAssocTableEntries * kAssocEntrySize == kAssocTableSize);

namespace {

int table_from_driver(unsigned char *table, size_t size)
{
  (void)size; // the driver copies its whole table
  struct iwreq request;
  memset(&request, 0, sizeof request);
  memcpy(request.ifr_name, "ra0", 4);
  request.u.data.pointer = table;
  return socket_ioctl(kGetMacTableRequest, &request) == 0 ? 0 : -1;
}

AssocTableSource g_source = table_from_driver;

} // namespace

void set_assoc_table_source(AssocTableSource source)
{
  g_source = source != nullptr ? source : table_from_driver;
}

int find_in_assoc_table(const unsigned char *table, const char *mac)
{
  int32_t count;
  memcpy(&count, table, sizeof count);
  if (count > kAssocTableEntries)
    count = kAssocTableEntries;
  for (int i = 0; i < count; ++i) {
    char station[kMacTextSize];
    format_mac_text(table + 4 + kAssocEntrySize * static_cast<size_t>(i) + 1, station);
    print_tagged("s_buf=%s\n", station);
    if (strcmp(station, mac) == 0) {
      print_tagged("%s is wireless client\n", mac);
      return 1;
    }
  }
  return 0;
}

int checkmac_wireless(const char *mac)
{
  char wanted[20] = {};
  memcpy(wanted, mac, strnlen(mac, 12));
  static unsigned char table[kAssocTableRoom];
  memset(table, 0, sizeof table);
  if (g_source(table, sizeof table) < 0)
    return -1;
  return find_in_assoc_table(table, wanted);
}
