#include "smallfile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

ssize_t read_small_file(const char *path, char *buf, size_t size)
{
  if (buf == nullptr || size == 0)
    return -1;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return -1;
  size_t len = 0;
  while (len < size - 1) {
    ssize_t n = read(fd, buf + len, size - 1 - len);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    len += static_cast<size_t>(n);
  }
  close(fd);
  buf[len] = '\0';
  return static_cast<ssize_t>(len);
}

bool write_small_file(const char *path, const char *text, size_t len, FileWrite how, mode_t mode)
{
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (how == FileWrite::Append ? O_APPEND : O_TRUNC);
  int fd = open(path, flags, mode);
  if (fd < 0)
    return false;
  size_t done = 0;
  while (done < len) {
    ssize_t n = write(fd, text + done, len - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    done += static_cast<size_t>(n);
  }
  return close(fd) == 0 && done == len;
}
