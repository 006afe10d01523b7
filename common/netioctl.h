// One request to a network driver, through a datagram socket opened for it.
#pragma once

// Returns 0 when the driver answered, -1 when it refused the request and -2
// when no socket could be opened.
int socket_ioctl(unsigned long request, void *arg);
