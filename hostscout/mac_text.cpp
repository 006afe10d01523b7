#include "mac_text.h"

#include <cstdio>

void format_mac_text(const unsigned char *b, char *out)
{
  snprintf(out, kMacTextSize, "%02x%02x%02x%02x%02x%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
}
