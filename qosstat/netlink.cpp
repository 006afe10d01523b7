#include "netlink.h"

#include <cerrno>
#include <cstring>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The kernel fills each part of a dump answer up to 8 KiB, or up to the
// largest buffer this socket has read with, so 16 KiB always holds a part.
constexpr size_t kReplySize = 16384;

struct DumpRequest {
  nlmsghdr header;
  tcmsg tc;
};

// Reads the answer to request seq until its end. Returns 0 or an errno value.
int readDump(int fd, unsigned seq, DumpVisitor visit, void *ctx)
{
  // On the stack rather than static: a large zeroed area makes the router's
  // linker page-align the data segment, which costs the binary 3 KiB or more.
  alignas(nlmsghdr) char reply[kReplySize];
  for (;;) {
    ssize_t got = recv(fd, reply, sizeof reply, MSG_TRUNC);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    if (static_cast<size_t>(got) > sizeof reply)
      return EMSGSIZE;
    int len = static_cast<int>(got);
    for (const nlmsghdr *msg = static_cast<const nlmsghdr *>(static_cast<const void *>(reply)); NLMSG_OK(msg, len);
         msg = NLMSG_NEXT(msg, len)) {
      if (msg->nlmsg_seq != seq)
        continue;
      if (msg->nlmsg_type == NLMSG_DONE)
        return 0;
      if (msg->nlmsg_type == NLMSG_ERROR) {
        const nlmsgerr *err = static_cast<const nlmsgerr *>(NLMSG_DATA(msg));
        if (msg->nlmsg_len < NLMSG_LENGTH(sizeof *err))
          return EPROTO;
        return err->error < 0 ? -err->error : EPROTO;
      }
      visit(msg, ctx);
    }
  }
}

} // namespace

int netlinkDump(int type, int ifindex, DumpVisitor visit, void *ctx)
{
  int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0)
    return errno;
  static unsigned seq = 0;
  DumpRequest req;
  memset(&req, 0, sizeof req);
  req.header.nlmsg_len = NLMSG_LENGTH(sizeof req.tc);
  req.header.nlmsg_type = static_cast<unsigned short>(type);
  req.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  req.header.nlmsg_seq = ++seq;
  req.tc.tcm_family = AF_UNSPEC;
  req.tc.tcm_ifindex = ifindex;
  int status = 0;
  if (send(fd, &req, req.header.nlmsg_len, 0) < 0)
    status = errno;
  else
    status = readDump(fd, req.header.nlmsg_seq, visit, ctx);
  close(fd);
  return status;
}
