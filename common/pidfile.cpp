#include "pidfile.h"

#include "command.h"
#include "smallfile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int pidfile_read(const char *path)
{
  char line[20];
  if (read_small_file(path, line, sizeof line) < 0)
    return 0;
  line[strcspn(line, "\n")] = '\0';
  // Read like "%d", but a number too large for a pid is no pid: "%d" would
  // wrap 4294967298 to 2 and name another process.
  char *end = nullptr;
  errno = 0;
  long pid = strtol(line, &end, 10);
  if (end == line || errno == ERANGE || pid > INT_MAX || pid < INT_MIN)
    return 0;
  return static_cast<int>(pid);
}

bool process_is(pid_t pid, const char *program)
{
  char path[40];
  char comm[32];
  if (pid <= 1 || !format_into(path, sizeof path, "/proc/%d/comm", static_cast<int>(pid)))
    return false;
  if (read_small_file(path, comm, sizeof comm) <= 0)
    return false;
  comm[strcspn(comm, "\n")] = '\0';
  // The kernel keeps at most 15 characters of the command name.
  return strncmp(comm, program, 15) == 0 && strlen(comm) == strnlen(program, 15);
}

void pidfile_take_over(const char *path, const char *program)
{
  int pid = pidfile_read(path);
  if (pid > 1 && pid != getpid() && process_is(pid, program))
    kill(pid, SIGTERM);
}

bool pidfile_write(const char *path)
{
  char text[16];
  format_into(text, sizeof text, "%d\n", static_cast<int>(getpid()));
  // Replaced whole: a program taking over reads the old pid or the new one.
  return replace_file(path, text, strlen(text));
}

namespace {

bool process_alive(pid_t pid)
{
  return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

} // namespace

PidGuard pidfile_create_exclusive(const char *path, pid_t *holder)
{
  // The pid is written to a private file first and linked into place, so the
  // pid file never exists without its content.
  char tmp[96];
  char text[16];
  if (!format_into(tmp, sizeof tmp, "%s.%d", path, static_cast<int>(getpid())))
    return PidGuard::Failed;
  format_into(text, sizeof text, "%d\n", static_cast<int>(getpid()));
  if (!write_small_file(tmp, text, strlen(text))) {
    unlink(tmp);
    return PidGuard::Failed;
  }
  int rc = link(tmp, path);
  int err = errno;
  unlink(tmp);
  if (rc == 0)
    return PidGuard::Created;
  if (err != EEXIST)
    return PidGuard::Failed;
  pid_t pid = pidfile_read(path);
  if (holder != nullptr)
    *holder = pid;
  if (process_alive(pid))
    return PidGuard::Held;
  // Remove only the file we judged: another run may have replaced it meanwhile.
  if (pidfile_read(path) == pid)
    unlink(path);
  return PidGuard::Stale;
}
