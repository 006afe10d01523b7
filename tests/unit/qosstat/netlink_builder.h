// Builds rtnetlink traffic control messages the way the kernel sends them, in
// this machine's byte order, so the decoder's tests hold on every architecture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <vector>

class TcMessage {
public:
  TcMessage(int type, uint32_t handle, uint32_t parent, int ifindex = 7)
  {
    nlmsghdr header{};
    header.nlmsg_type = static_cast<uint16_t>(type);
    append(&header, sizeof header);
    tcmsg tc{};
    tc.tcm_family = AF_UNSPEC;
    tc.tcm_ifindex = ifindex;
    tc.tcm_handle = handle;
    tc.tcm_parent = parent;
    append(&tc, sizeof tc);
  }

  TcMessage &attr(int type, const void *data, size_t len)
  {
    rtattr a{};
    a.rta_type = static_cast<unsigned short>(type);
    a.rta_len = static_cast<unsigned short>(RTA_LENGTH(len));
    append(&a, sizeof a);
    append(data, len);
    return *this;
  }
  template <typename T> TcMessage &attr(int type, const T &value) { return attr(type, &value, sizeof value); }
  TcMessage &kind(const char *name) { return attr(TCA_KIND, name, strlen(name) + 1); }

  // Attributes added between open and close nest inside type.
  TcMessage &open(int type)
  {
    nests_.push_back(bytes_.size());
    rtattr a{};
    a.rta_type = static_cast<unsigned short>(type | NLA_F_NESTED);
    append(&a, sizeof a);
    return *this;
  }
  TcMessage &close()
  {
    size_t at = nests_.back();
    nests_.pop_back();
    auto len = static_cast<unsigned short>(bytes_.size() - at);
    memcpy(bytes_.data() + at + offsetof(rtattr, rta_len), &len, sizeof len);
    return *this;
  }

  const nlmsghdr *msg()
  {
    auto len = static_cast<uint32_t>(bytes_.size());
    memcpy(bytes_.data() + offsetof(nlmsghdr, nlmsg_len), &len, sizeof len);
    return static_cast<const nlmsghdr *>(static_cast<const void *>(bytes_.data())); // new[] aligns it
  }
  // The message cut to its first n bytes, as a short read would leave it.
  const nlmsghdr *cutTo(uint32_t n)
  {
    msg();
    memcpy(bytes_.data() + offsetof(nlmsghdr, nlmsg_len), &n, sizeof n);
    return static_cast<const nlmsghdr *>(static_cast<const void *>(bytes_.data())); // new[] aligns it
  }

private:
  void append(const void *data, size_t len)
  {
    const char *p = static_cast<const char *>(data);
    bytes_.insert(bytes_.end(), p, p + len);
    bytes_.resize((bytes_.size() + 3) & ~size_t{3}, 0);
  }
  std::vector<char> bytes_;
  std::vector<size_t> nests_;
};
