#include "netioctl.h"

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

int socket_ioctl(unsigned long request, void *arg)
{
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return -2;
  int rc = ioctl(fd, request, arg);
  close(fd);
  return rc < 0 ? -1 : 0;
}
