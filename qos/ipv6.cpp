#include "ipv6.h"

#include <cstring>

namespace {

// Inserts text at `at`, a place in the NUL-terminated out of `size` bytes.
bool insertAt(char *out, size_t size, char *at, const char *text)
{
  const size_t len = strlen(text);
  const size_t tail = strlen(at);
  if (static_cast<size_t>(at - out) + len + tail >= size)
    return false;
  memmove(at + len, at, tail + 1);
  memcpy(at, text, len);
  return true;
}

} // namespace

bool ipv6Twin(const char *line, char *out, size_t size)
{
  const size_t len = strlen(line);
  if (len >= size)
    return false;
  memcpy(out, line, len + 1);
  if (strncmp(out, "iptables ", 9) == 0) {
    // ip6tables takes "-p icmp" without a word and never matches it.
    char *icmp = strstr(out, " -p icmp ");
    return (icmp == nullptr || insertAt(out, size, icmp + 8, "v6")) && insertAt(out, size, out + 2, "6");
  }
  // " protocol ip" becomes " protocol ipv6", and the priority after " prio "
  // gets a 1 in front.
  char *filter = strstr(out, " protocol ip prio ");
  return strncmp(out, "tc filter ", 10) == 0 && filter != nullptr && insertAt(out, size, filter + 12, "v6") &&
         insertAt(out, size, filter + 20, "1");
}
