#include "pppsession.h"

#include "smallfile.h"

#include <cstring>

namespace {

bool isNameChar(char c)
{
  return static_cast<unsigned char>((c | 0x20) - 'a') < 26 || static_cast<unsigned char>(c - '0') < 10 ||
         c == '.' || c == '-' || c == '_';
}

} // namespace

bool ppp_session_in(const char *text, char (&ifname)[IFNAMSIZ])
{
  memcpy(ifname, "ppp0", 5);
  if (text[0] != '1')
    return false;
  // "1", "1\n" or "10" name no interface.
  const char *name = text + 1;
  if (*name != ' ')
    return true;
  while (*name == ' ')
    ++name;
  size_t len = 0;
  while (isNameChar(name[len]))
    ++len;
  // The name ends the text or a line, or is followed by a blank; one that a
  // command would take for an option, or too long for an interface, is none.
  if (static_cast<unsigned char>(name[len]) > ' ' || len >= IFNAMSIZ || *name == '-')
    return false;
  if (len > 0) {
    memcpy(ifname, name, len);
    ifname[len] = '\0';
  }
  return true;
}

bool ppp_session_at(const char *path, char (&ifname)[IFNAMSIZ])
{
  // "1 ", the longest name and a newline. Not on the stack: the programs
  // are single-threaded.
  static char text[2 + IFNAMSIZ + 1];
  if (read_small_file(path, text, sizeof text) < 0)
    text[0] = '\0';
  return ppp_session_in(text, ifname);
}
