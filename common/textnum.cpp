#include "textnum.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

int text_to_int(const char *text)
{
  if (text == nullptr)
    return 0;
  errno = 0;
  long v = strtol(text, nullptr, 10);
  if (v > INT_MAX)
    return INT_MAX;
  if (v < INT_MIN)
    return INT_MIN;
  return static_cast<int>(v);
}

bool parse_decimal(const char *text, unsigned long max, unsigned long *value)
{
  if (text == nullptr || text[0] == '\0')
    return false;
  unsigned long v = 0;
  for (const char *p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9')
      return false;
    v = v * 10 + static_cast<unsigned long>(*p - '0');
    if (v > max)
      return false;
  }
  *value = v;
  return true;
}
