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

// Reads the answer to request seq until its end. Returns 0 or an errno value;
// the negated errno value of a dump the kernel cut short or that changed while
// it was read (EAGAIN), which a new request may get whole.
int readDump(int fd, unsigned seq, DumpVisitor visit, void *ctx)
{
  // On the stack rather than static: a large zeroed area makes the router's
  // linker page-align the data segment, which costs the binary 3 KiB or more.
  alignas(nlmsghdr) char reply[kReplySize];
  bool interrupted = false;
  for (;;) {
    sockaddr_nl from;
    socklen_t fromLen = sizeof from;
    ssize_t got = recvfrom(fd, reply, sizeof reply, MSG_TRUNC, reinterpret_cast<sockaddr *>(&from), &fromLen);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    // Only the kernel answers: what another process sent is no answer.
    if (fromLen != sizeof from || from.nl_pid != 0)
      continue;
    if (static_cast<size_t>(got) > sizeof reply)
      return EMSGSIZE;
    int len = static_cast<int>(got);
    for (const nlmsghdr *msg = static_cast<const nlmsghdr *>(static_cast<const void *>(reply)); NLMSG_OK(msg, len);
         msg = NLMSG_NEXT(msg, len)) {
      if (msg->nlmsg_seq != seq)
        continue;
      if (msg->nlmsg_flags & NLM_F_DUMP_INTR)
        interrupted = true;
      // Both carry an error number: the end of a dump that failed part-way,
      // or the refusal of the request.
      int error = 0;
      if (msg->nlmsg_type == NLMSG_DONE || msg->nlmsg_type == NLMSG_ERROR) {
        if (msg->nlmsg_len < NLMSG_LENGTH(sizeof error))
          return EPROTO;
        memcpy(&error, NLMSG_DATA(msg), sizeof error);
      }
      if (msg->nlmsg_type == NLMSG_DONE)
        return error < 0 ? error : interrupted ? -EAGAIN : 0;
      if (msg->nlmsg_type == NLMSG_ERROR)
        return error < 0 ? -error : EPROTO;
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
  req.tc.tcm_family = AF_UNSPEC;
  req.tc.tcm_ifindex = ifindex;
  int status = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    // A number of its own for each request: a late part of an earlier
    // answer is never taken for this one.
    req.header.nlmsg_seq = ++seq;
    visit(nullptr, ctx);
    if (send(fd, &req, req.header.nlmsg_len, 0) < 0) {
      status = errno;
      break;
    }
    status = readDump(fd, req.header.nlmsg_seq, visit, ctx);
    if (status >= 0)
      break;
    status = -status;
  }
  close(fd);
  return status;
}
