#include "command_line.h"

#include "command.h"
#include "shellquote.h"

#include <cstdio>
#include <cstring>

namespace {

char g_line[kCommandMax];

// The command's name: the format's text up to its first blank.
void reportRefused(const char *fmt)
{
  printf("wanwatch: command too long, not run: %.*s\n", static_cast<int>(strcspn(fmt, " ")), fmt);
}

} // namespace

int words::run(const char *fmt, const char *const *values, size_t count)
{
  size_t len = 0;
  size_t used = 0;
  bool fits = true;
  for (const char *p = fmt; fits && *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's' && used < count) {
      const char *value = values[used++];
      fits = shell_quote(g_line + len, sizeof g_line - len, value);
      len += strlen(g_line + len);
      ++p;
    } else if (len + 1 < sizeof g_line) {
      g_line[len++] = *p;
    } else {
      fits = false;
    }
  }
  if (!fits) {
    reportRefused(fmt);
    return -1;
  }
  g_line[len] = '\0';
  return run_command(g_line);
}
