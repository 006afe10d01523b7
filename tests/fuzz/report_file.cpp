#include "report_file.h"

#include "check.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

char g_dir[64];
char g_path[128];

void remove_report()
{
  unlink(g_path);
  rmdir(g_dir);
}

} // namespace

const char *report_file_init(const char *name)
{
  snprintf(g_dir, sizeof g_dir, "/dev/shm/fuzz-report-XXXXXX");
  FUZZ_CHECK(mkdtemp(g_dir) != nullptr);
  snprintf(g_path, sizeof g_path, "%s/%s", g_dir, name);
  atexit(remove_report);
  return g_path;
}

void report_file_write(const uint8_t *data, size_t size)
{
  int fd = open(g_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  FUZZ_CHECK(fd >= 0);
  FUZZ_CHECK(write(fd, data, size) == static_cast<ssize_t>(size));
  close(fd);
}
