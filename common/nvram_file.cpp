// File-backed configuration store for development machines and tests.
//
// The store is a text file of key=value lines: the file named by NVRAM_FILE,
// or /etc/nvram.conf. The value is everything after the first '=' up to the end
// of the line. Lines starting with '#' and lines without '=' are ignored; the
// later of two lines with the same key wins. The file is loaded once into a
// static buffer and values are handed out as pointers into it, so they stay
// valid for the whole run.
#include "nvram.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#define STORE_API extern "C" __attribute__((visibility("default")))

namespace {

constexpr char kDefaultPath[] = "/etc/nvram.conf";

// Large enough for a router's whole flash partition of settings.
char g_text[128 * 1024];
size_t g_len = 0;
bool g_loaded = false;
char g_empty[1] = {'\0'};

void load()
{
  if (g_loaded)
    return;
  g_loaded = true;
  const char *path = getenv("NVRAM_FILE");
  if (path == nullptr || path[0] == '\0')
    path = kDefaultPath;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return;
  size_t len = 0;
  while (len < sizeof g_text - 1) {
    ssize_t n = read(fd, g_text + len, sizeof g_text - 1 - len);
    if (n < 0) {
      len = 0; // an unreadable store reads as empty
      break;
    }
    if (n == 0)
      break;
    len += static_cast<size_t>(n);
  }
  close(fd);
  // A file larger than the buffer keeps only its whole lines.
  if (len == sizeof g_text - 1) {
    while (len > 0 && g_text[len - 1] != '\n')
      --len;
  }
  // Each line becomes a NUL-terminated string, so a value can be returned in place.
  for (size_t i = 0; i < len; ++i) {
    if (g_text[i] == '\n')
      g_text[i] = '\0';
  }
  g_text[len] = '\0';
  g_len = len;
}

const char *lookup(const char *key)
{
  load();
  if (key == nullptr)
    return g_empty;
  size_t keylen = strlen(key);
  const char *found = g_empty;
  size_t pos = 0;
  while (pos < g_len) {
    const char *line = g_text + pos;
    size_t linelen = strlen(line);
    if (line[0] != '#') {
      const char *eq = static_cast<const char *>(memchr(line, '=', linelen));
      if (eq != nullptr && static_cast<size_t>(eq - line) == keylen &&
          memcmp(line, key, keylen) == 0)
        found = eq + 1;
    }
    pos += linelen + 1;
  }
  return found;
}

} // namespace

STORE_API void nvram_init(int /*index*/)
{
  load();
}

STORE_API const char *nvram_bufget(int /*index*/, const char *key)
{
  return lookup(key);
}

STORE_API const char *nvram_get(int /*index*/, const char *key)
{
  return lookup(key);
}
