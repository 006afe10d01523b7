#include "known_hosts.h"
#include "hostscout_seams.h"

#include "pieces.h"
#include "smallfile.h"
#include "tagged.h"

#include <cstring>
#include <unistd.h>

namespace {

int mac_listed(PieceReader &reader, const char *mac)
{
  // Lines are read 19 characters at a time, as the list's writer expects;
  // the comparison is exact and case-sensitive.
  char line[20] = {};
  while (reader.next(line, sizeof line) > 0) {
    if (strncmp(line, mac, 12) == 0) {
      print_tagged("Find mac at lltd table\n");
      return 1;
    }
    memset(line, 0, sizeof line);
  }
  return 0;
}

} // namespace

int mac_listed_in_text(const char *text, size_t len, const char *mac)
{
  PieceReader reader(text, len);
  return mac_listed(reader, mac);
}

int mac_listed_in(const char *path, const char *mac)
{
  int fd = open_input(path);
  if (fd < 0)
    return 0;
  PieceReader reader(fd);
  int found = mac_listed(reader, mac);
  close(fd);
  return found;
}

int checkmac_lltd(const char *mac)
{
  return mac_listed_in(kKnownHostsFile, mac);
}
