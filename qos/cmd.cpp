#include "cmd.h"

#include "command.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

int vx_cmd_level = 0;

namespace {
char g_cmd[1025];
}

int vx_doCmd(const char *fmt, ...)
{
  memset(g_cmd, 0, sizeof g_cmd);
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(g_cmd, sizeof g_cmd, fmt, ap);
  va_end(ap);
  if (vx_cmd_level > 0)
    printf("%s\n", g_cmd);
  return run_command(g_cmd);
}

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
