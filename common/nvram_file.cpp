// File-backed configuration store for development machines and tests (see
// nvram_snapshot.cpp for the file). Every read sees the file as it is now,
// and every value handed out stays valid and unchanged for the whole process:
// values are handed out as lasting copies (nvram_arena.cpp). When the arena
// reaches its cap, the snapshot of that moment is kept for the rest of the
// process and served in place, so no value handed out ever changes.
//
// When NVRAM_TRACE names a file, each key asked for is appended to it, one
// per line; the trace never fails a read.
#include "nvram.h"
#include "nvram_arena.h"
#include "nvram_snapshot.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#define STORE_API extern "C" __attribute__((visibility("default")))

namespace {

char g_empty[1] = {'\0'};

void trace(const char *key)
{
  const char *path = getenv("NVRAM_TRACE");
  if (path == nullptr || path[0] == '\0')
    return;
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0)
    return;
  // One write, so the lines of processes tracing at once never mix.
  char newline[] = "\n";
  iovec parts[2] = {{const_cast<char *>(key), strlen(key)}, {newline, 1}};
  (void)!writev(fd, parts, 2);
  close(fd);
}

const char *lookup(const char *key)
{
  int saved = errno;
  if (key == nullptr)
    return g_empty;
  trace(key);
  nvram_store::refresh();
  const char *value = nvram_store::find(key);
  const char *result = g_empty;
  if (value != nullptr && value[0] != '\0') {
    result = nvram_store::keep(key, value);
    if (result == nullptr) {
      char why[64];
      snprintf(why, sizeof why, "no room left for changed values within %zu KiB", nvram_store::kArenaCap / 1024);
      nvram_store::freeze(why);
      result = value;
    }
  }
  errno = saved;
  return result;
}

} // namespace

STORE_API void nvram_init(int /*index*/)
{
  int saved = errno;
  nvram_store::refresh();
  errno = saved;
}

STORE_API const char *nvram_bufget(int /*index*/, const char *key)
{
  return lookup(key);
}

STORE_API const char *nvram_get(int /*index*/, const char *key)
{
  return lookup(key);
}
