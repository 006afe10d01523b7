#include "known_hosts.h"

#include "tagged.h"

#include <cstdio>
#include <cstring>

int mac_listed_in(const char *path, const char *mac)
{
  FILE *f = fopen(path, "r");
  if (f == nullptr)
    return 0;
  int found = 0;
  // Lines are read 19 characters at a time, as the list's writer expects;
  // the comparison is exact and case-sensitive.
  char line[20] = {};
  while (fgets(line, sizeof line, f) != nullptr) {
    if (strncmp(line, mac, 12) == 0) {
      print_tagged("Find mac at lltd table\n");
      found = 1;
      break;
    }
    memset(line, 0, sizeof line);
  }
  fclose(f);
  return found;
}

int checkmac_lltd(const char *mac)
{
  return mac_listed_in(kKnownHostsFile, mac);
}
