#include "smallfile.h"
#include "common_seams.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int open_input(const char *path)
{
  // O_NONBLOCK: opening a FIFO without a writer would wait for one.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

size_t read_fully(int fd, void *buf, size_t size)
{
  auto *bytes = static_cast<unsigned char *>(buf);
  size_t len = 0;
  while (len < size) {
    ssize_t n = read(fd, bytes + len, size - len);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    len += static_cast<size_t>(n);
  }
  return len;
}

bool write_all(int fd, const void *data, size_t len)
{
  const auto *bytes = static_cast<const unsigned char *>(data);
  size_t done = 0;
  while (done < len) {
    ssize_t n = write(fd, bytes + done, len - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      if (n == 0)
        errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

ssize_t read_small_file(const char *path, char *buf, size_t size)
{
  if (buf == nullptr || size == 0)
    return -1;
  int fd = open_input(path);
  if (fd < 0)
    return -1;
  size_t len = read_fully(fd, buf, size - 1);
  close(fd);
  buf[len] = '\0';
  return static_cast<ssize_t>(len);
}

namespace {

// "<dir>/.<name>.<pid>.<n>": hidden, so that a reader listing the files of a
// kind ("lltd_inf_wlan*") never meets a temporary one.
bool temp_name(char *out, size_t size, const char *path, unsigned n)
{
  const char *slash = strrchr(path, '/');
  int dirlen = slash == nullptr ? 0 : static_cast<int>(slash - path + 1);
  const char *name = path + dirlen;
  int len = snprintf(out, size, "%.*s.%s.%d.%u", dirlen, path, name, static_cast<int>(getpid()), n);
  return len > 0 && static_cast<size_t>(len) < size;
}

bool replace_in_window(const char *path, const char *text, size_t len, mode_t mode)
{
  static unsigned serial;
  char tmp[256];
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 8; ++attempt) {
    if (!temp_name(tmp, sizeof tmp, path, serial++)) {
      errno = ENAMETOOLONG;
      return false;
    }
    // O_EXCL: never a file or link that is already there.
    fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST)
      return false;
  }
  if (fd < 0)
    return false;
  bool ok = write_all(fd, text, len);
  int err = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(tmp, path) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(tmp);
    errno = err;
  }
  return ok;
}

// Signals wait while the temporary file exists: one arriving then (SIGTERM
// above all) is taken after the rename or the clean-up, so a program ended by
// a signal it can block never leaves a hidden file behind.
bool replace_on_disk(const char *path, const char *text, size_t len, mode_t mode)
{
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &before);
  bool ok = replace_in_window(path, text, len, mode);
  sigprocmask(SIG_SETMASK, &before, nullptr); // leaves errno as it is
  return ok;
}

ReplaceSink g_replace = replace_on_disk;

bool remove_on_disk(const char *path)
{
  return unlink(path) == 0 || errno == ENOENT;
}

RemoveSink g_remove = remove_on_disk;

} // namespace

void set_replace_sink(ReplaceSink sink)
{
  g_replace = sink != nullptr ? sink : replace_on_disk;
}

void set_remove_sink(RemoveSink sink)
{
  g_remove = sink != nullptr ? sink : remove_on_disk;
}

bool remove_file(const char *path)
{
  return g_remove(path);
}

bool replace_file(const char *path, const char *text, size_t len, mode_t mode)
{
  return g_replace(path, text, len, mode);
}

bool replace_file_or_report(const char *program, const char *path, const char *text, size_t len, mode_t mode)
{
  if (replace_file(path, text, len, mode))
    return true;
  fprintf(stderr, "%s: cannot write %s: %s\n", program, path, strerror(errno));
  return false;
}

bool claim_output_file(const char *path)
{
  for (int attempt = 0; attempt < 3; ++attempt) {
    struct stat st;
    if (lstat(path, &st) == 0) {
      if (S_ISREG(st.st_mode) && st.st_uid == geteuid() && st.st_nlink == 1)
        return true;
      if (unlink(path) != 0 && errno != ENOENT)
        return false;
    }
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      close(fd);
      return true;
    }
    if (errno != EEXIST)
      return false;
  }
  return false;
}
