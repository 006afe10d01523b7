#include "arp.h"
#include "hostscout_seams.h"

#include "command.h"
#include "pieces.h"
#include "smallfile.h"
#include "tagged.h"
#include "validate.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

bool is_hex(char c)
{
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "aa:bb:cc:dd:ee:ff" to "aabbccddeeff"; false for any other form.
bool colon_mac_to_text(const char *hw, char *mac)
{
  if (strlen(hw) != 17)
    return false;
  for (int i = 0; i < 17; ++i) {
    bool ok = i % 3 == 2 ? hw[i] == ':' : is_hex(hw[i]);
    if (!ok)
      return false;
  }
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j < 2; ++j) {
      char c = hw[i * 3 + j];
      mac[i * 2 + j] = c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
    }
  }
  mac[12] = '\0';
  return true;
}

} // namespace

bool arp_line_mac(const char *line, const char *address, char *mac)
{
  char ip[40], hw_type[16], flags[16], hw[40];
  if (sscanf(line, "%39s %15s %15s %39s", ip, hw_type, flags, hw) != 4)
    return false;
  if (strcmp(ip, address) != 0 || strcmp(hw_type, "0x1") != 0 || strcmp(flags, "0x0") == 0)
    return false;
  char text[kMacTextSize];
  if (!colon_mac_to_text(hw, text) || strcmp(text, "000000000000") == 0)
    return false;
  memcpy(mac, text, kMacTextSize);
  return true;
}

namespace {

void table_mac(PieceReader &reader, const char *address, char *found)
{
  char line[160];
  while (reader.next(line, sizeof line) > 0) {
    if (arp_line_mac(line, address, found))
      break;
  }
}

} // namespace

void arp_table_mac(const char *text, size_t len, const char *address, char *mac)
{
  PieceReader reader(text, len);
  table_mac(reader, address, mac);
}

int get_mac_from_arptable(const char *address, char *mac)
{
  return get_mac_from_arptable_in(kArpTable, address, mac);
}

int get_mac_from_arptable_in(const char *table, const char *address, char *mac)
{
  // The ping only makes the kernel resolve the host; its report is not
  // read. The address came from the network: it reaches the shell only as a
  // checked dotted address. A host that answers ARP but not the echo costs
  // the one second of -W, not ping's own wait of about ten.
  if (is_dotted_ipv4(address)) {
    char command[64];
    format_into(command, sizeof command, "ping -c 1 -W 1 %s > /dev/null", address);
    run_command(command);
  }

  int fd = open_input(table);
  if (fd < 0)
    return 0;
  char found[kMacTextSize] = {};
  PieceReader reader(fd);
  table_mac(reader, address, found);
  close(fd);
  print_tagged("buf2=%s\n", found);
  memcpy(mac, found, kMacTextSize);
  return 0;
}
