#include "fields.h"

#include <cstring>

int getNthValueSafe(int index, const char *list, char sep, char *dst, size_t size)
{
  if (list == nullptr || dst == nullptr || size == 0)
    return -1;
  // strchr finds a NUL separator at the end of the text: a text holds no
  // NUL, so it is then one field.
  auto find_sep = [sep](const char *from) { return sep != '\0' ? strchr(from, sep) : nullptr; };
  const char *start = list;
  const char *next = find_sep(start);
  int steps = 0;
  while (steps < index && next != nullptr) {
    start = next + 1;
    next = find_sep(start);
    ++steps;
  }
  // Without a further separator the field runs to the end of the text, but
  // only if the list really has that many fields.
  if (next == nullptr && steps != index)
    return -1;
  size_t len = next != nullptr ? static_cast<size_t>(next - start) : strlen(start);
  if (len > size - 1)
    len = size - 1;
  memcpy(dst, start, len);
  dst[len] = '\0';
  return 0;
}
