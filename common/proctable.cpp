#include "proctable.h"

#include "smallfile.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The pid a /proc entry names, or 0 for any other entry.
pid_t pidOf(const char *entry)
{
  pid_t pid = 0;
  for (const char *p = entry; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || pid > 99999999)
      return 0;
    pid = pid * 10 + (*p - '0');
  }
  return pid;
}

// "PID (COMM) STATE ...": the name may hold blanks and parentheses, the
// fields after it hold neither.
bool liveAndNamed(pid_t pid, const char *name)
{
  char path[32];
  snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  char stat[96];
  if (read_small_file(path, stat, sizeof stat) <= 0)
    return false;
  const char *open = strchr(stat, '(');
  const char *close = strrchr(stat, ')');
  if (open == nullptr || close == nullptr || close < open || close[1] != ' ')
    return false;
  char state = close[2];
  size_t len = static_cast<size_t>(close - open - 1);
  return state != 'Z' && state != 'X' && len == strlen(name) && memcmp(open + 1, name, len) == 0;
}

} // namespace

int signal_named(const char *name, int sig)
{
  int fd = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return 0;
  pid_t self = getpid();
  int count = 0;
  // The entries in a buffer of our own: opendir would take one from the heap.
  alignas(8) char entries[2048];
  long got;
  while ((got = syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0) {
    for (long pos = 0; pos < got;) {
      // linux_dirent64: inode, offset, record length, type, name.
      unsigned short reclen;
      memcpy(&reclen, entries + pos + 16, sizeof reclen);
      pid_t pid = pidOf(entries + pos + 19);
      pos += reclen;
      if (pid <= 0 || pid == self || !liveAndNamed(pid, name))
        continue;
      if (sig != 0)
        kill(pid, sig);
      ++count;
    }
  }
  close(fd);
  return count;
}
