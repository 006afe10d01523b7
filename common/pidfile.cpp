#include "pidfile.h"

#include "command.h"
#include "samefile.h"
#include "smallfile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The number at the start of line, read like "%d"; but a number too large for
// a pid is no pid: "%d" would wrap 4294967298 to 2 and name another process.
int parse_pid(char *line)
{
  line[strcspn(line, "\n")] = '\0';
  char *end = nullptr;
  errno = 0;
  long pid = strtol(line, &end, 10);
  if (end == line || errno == ERANGE || pid > INT_MAX || pid < INT_MIN)
    return 0;
  return static_cast<int>(pid);
}

} // namespace

int pidfile_read(const char *path)
{
  char line[20];
  if (read_small_file(path, line, sizeof line) < 0)
    return 0;
  return parse_pid(line);
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

namespace {

const char *kind_of(mode_t mode)
{
  if (S_ISDIR(mode))
    return "a directory";
  if (S_ISFIFO(mode))
    return "a FIFO";
  if (S_ISLNK(mode))
    return "a symlink";
  return "a special file";
}

// What stands at path when it is not a regular file; nullptr for a regular
// file or nothing.
const char *odd_file_kind(const char *path)
{
  struct stat st;
  if (lstat(path, &st) != 0 || S_ISREG(st.st_mode))
    return nullptr;
  return kind_of(st.st_mode);
}

} // namespace

void pidfile_take_over(const char *path, const char *program)
{
  int pid = pidfile_read(path);
  if (pid > 1 && pid != getpid() && process_is(pid, program))
    kill(pid, SIGTERM);
}

bool pidfile_write(const char *program, const char *path)
{
  char text[16];
  format_into(text, sizeof text, "%d\n", static_cast<int>(getpid()));
  // Replaced whole: a program taking over reads the old pid or the new one.
  return replace_file_or_report(program, path, text, strlen(text));
}

namespace {

// A run that replaced or removed the file between our open and our lock
// makes us start again; a few rounds settle any such race.
constexpr int kLockRounds = 8;

// The pid a stale file holds, or -1 when it holds nothing.
int stale_pid(int fd)
{
  char line[20];
  ssize_t n = pread(fd, line, sizeof line - 1, 0);
  if (n <= 0)
    return -1;
  line[n] = '\0';
  return parse_pid(line);
}

// In place: the file is never renamed, so the lock stays on the file the path
// names. On a full /var the pid may be missing; the lock still decides.
void write_own_pid(int fd)
{
  char text[16];
  format_into(text, sizeof text, "%d\n", static_cast<int>(getpid()));
  size_t len = strlen(text);
  if (ftruncate(fd, 0) == 0)
    (void)!pwrite(fd, text, len, 0);
}

} // namespace

RunGuard run_lock_take(const char *path, RunLock *lock, int *stale)
{
  *stale = -1;
  for (int round = 0; round < kLockRounds; ++round) {
    bool writable = true;
    // Never through a symlink, and never waiting on a FIFO.
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = open(path, O_RDWR | O_CREAT | kFlags, 0644);
    if (fd < 0) {
      writable = false;
      fd = open(path, O_RDONLY | kFlags);
    }
    if (fd < 0) {
      if (errno == ENOENT)
        return RunGuard::Unguarded;
      // A symlink: O_NOFOLLOW refuses it.
      lock->odd = odd_file_kind(path);
      return lock->odd != nullptr ? RunGuard::NotAFile : RunGuard::Busy;
    }
    struct stat opened;
    if (fstat(fd, &opened) != 0) {
      close(fd);
      return RunGuard::Busy;
    }
    if (!S_ISREG(opened.st_mode)) {
      close(fd);
      lock->odd = kind_of(opened.st_mode);
      return RunGuard::NotAFile;
    }
    int rc;
    do
      rc = flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      close(fd);
      return RunGuard::Busy;
    }
    struct stat named;
    if (stat(path, &named) != 0 || !same_inode(opened, named)) {
      close(fd);
      continue;
    }
    *stale = stale_pid(fd);
    if (writable)
      write_own_pid(fd);
    lock->fd = fd;
    lock->writable = writable;
    return RunGuard::Taken;
  }
  return RunGuard::Busy;
}

void run_lock_release(const char *path, RunLock *lock)
{
  if (lock->fd < 0)
    return;
  struct stat held;
  struct stat named;
  if (lock->writable && fstat(lock->fd, &held) == 0 && stat(path, &named) == 0 && same_inode(held, named))
    unlink(path);
  close(lock->fd);
  lock->fd = -1;
}
