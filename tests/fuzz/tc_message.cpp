// The kernel's rtnetlink answers that qosstat decodes: the messages of one
// dump part, walked as the program walks them, each decoded as an HTB class
// and as a root qdisc. The buffer is exactly the input, so a read past a
// message or an attribute is caught.
#include "check.h"

#include "tc_class.h"

#include <cstring>
#include <linux/pkt_sched.h>
#include <linux/rtnetlink.h>
#include <memory>

// The kernel's NLMSG_OK and NLMSG_NEXT compare signed with unsigned lengths
// and cast to the header type, as they do in the program.
#pragma clang diagnostic ignored "-Wsign-compare"
#pragma clang diagnostic ignored "-Wcast-align"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 16384)
    return 0;
  // Heap memory of the input's size, aligned as the program's reply buffer.
  std::unique_ptr<char[]> reply(new char[size > 0 ? size : 1]);
  memcpy(reply.get(), data, size);
  int len = static_cast<int>(size);
  for (const nlmsghdr *msg = static_cast<const nlmsghdr *>(static_cast<const void *>(reply.get()));
       NLMSG_OK(msg, len); msg = NLMSG_NEXT(msg, len)) {
    TcClass cls;
    memset(&cls, 0xa5, sizeof cls);
    if (decodeClass(msg, &cls)) {
      FUZZ_CHECK(msg->nlmsg_type == RTM_NEWTCLASS);
      const tcmsg *tc = static_cast<const tcmsg *>(NLMSG_DATA(msg));
      FUZZ_CHECK(cls.id == tc->tcm_handle && cls.parent == tc->tcm_parent);
    }
    TcRootQdisc root;
    if (decodeRootQdisc(msg, &root)) {
      FUZZ_CHECK(msg->nlmsg_type == RTM_NEWQDISC);
      FUZZ_CHECK(static_cast<const tcmsg *>(NLMSG_DATA(msg))->tcm_parent == TC_H_ROOT);
    }
  }
  return 0;
}
