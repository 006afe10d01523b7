// Attributes of RTM_NEWTCLASS / RTM_NEWQDISC messages into records. Payloads
// are copied out with memcpy: 64-bit values sit on 4-byte boundaries, which
// some router CPUs cannot load directly.
#include "tc_class.h"

#include <cstring>
#include <linux/gen_stats.h>
#include <linux/pkt_sched.h>
#include <linux/rtnetlink.h>

namespace {

int attrType(const rtattr *a)
{
  return a->rta_type & NLA_TYPE_MASK;
}

size_t payloadLen(const rtattr *a)
{
  return RTA_PAYLOAD(a);
}

template <typename T> bool readPayload(const rtattr *a, T *value)
{
  if (payloadLen(a) < sizeof(T))
    return false;
  memcpy(value, RTA_DATA(a), sizeof(T));
  return true;
}

// The message's tcmsg and the length of the attributes behind it, or nullptr.
const tcmsg *tcHeader(const nlmsghdr *msg, int type, int *attrLen)
{
  if (msg->nlmsg_type != type || msg->nlmsg_len < NLMSG_LENGTH(sizeof(tcmsg)))
    return nullptr;
  *attrLen = static_cast<int>(msg->nlmsg_len - NLMSG_LENGTH(sizeof(tcmsg)));
  return static_cast<const tcmsg *>(NLMSG_DATA(msg));
}

const rtattr *tcAttrs(const tcmsg *tc)
{
  // The attributes start at a 4-byte boundary behind the tcmsg.
  return static_cast<const rtattr *>(static_cast<const void *>(reinterpret_cast<const char *>(tc) + NLMSG_ALIGN(sizeof *tc)));
}

bool isHtb(const rtattr *kind)
{
  return payloadLen(kind) >= 4 && memcmp(RTA_DATA(kind), "htb", 4) == 0;
}

void decodeHtbOptions(const rtattr *options, TcClass *out)
{
  int len = static_cast<int>(payloadLen(options));
  for (const rtattr *a = static_cast<const rtattr *>(RTA_DATA(options)); RTA_OK(a, len); a = RTA_NEXT(a, len)) {
    tc_htb_opt opt;
    uint64_t wide;
    switch (attrType(a)) {
    case TCA_HTB_PARMS:
      if (readPayload(a, &opt)) {
        // A rate past 32 bits reads as ~0 here; the 64-bit attribute follows.
        out->rate = opt.rate.rate;
        out->ceil = opt.ceil.rate;
        out->prio = opt.prio;
      }
      break;
    case TCA_HTB_RATE64:
      if (readPayload(a, &wide))
        out->rate = wide;
      break;
    case TCA_HTB_CEIL64:
      if (readPayload(a, &wide))
        out->ceil = wide;
      break;
    default:
      break;
    }
  }
}

void decodeStats(const rtattr *stats, TcClass *out)
{
  int len = static_cast<int>(payloadLen(stats));
  bool havePkt64 = false;
  for (const rtattr *a = static_cast<const rtattr *>(RTA_DATA(stats)); RTA_OK(a, len); a = RTA_NEXT(a, len)) {
    switch (attrType(a)) {
    case TCA_STATS_BASIC: {
      // bytes (64 bits) then packets (32 bits); the struct's tail padding
      // differs between ABIs, so only the 12 bytes that count are required.
      if (payloadLen(a) >= 12) {
        uint32_t packets;
        memcpy(&out->bytes, RTA_DATA(a), sizeof(uint64_t));
        memcpy(&packets, static_cast<const char *>(RTA_DATA(a)) + 8, sizeof packets);
        if (!havePkt64)
          out->packets = packets;
      }
      break;
    }
    case TCA_STATS_PKT64:
      if (readPayload(a, &out->packets))
        havePkt64 = true;
      break;
    case TCA_STATS_QUEUE: {
      gnet_stats_queue q;
      if (readPayload(a, &q)) {
        out->drops = q.drops;
        out->overlimits = q.overlimits;
      }
      break;
    }
    case TCA_STATS_RATE_EST: {
      gnet_stats_rate_est est;
      if (!out->hasRateNow && readPayload(a, &est)) {
        out->hasRateNow = true;
        out->rateNow = est.bps;
        out->packetsNow = est.pps;
      }
      break;
    }
    case TCA_STATS_RATE_EST64: {
      gnet_stats_rate_est64 est;
      if (readPayload(a, &est)) {
        out->hasRateNow = true;
        out->rateNow = est.bps;
        out->packetsNow = est.pps;
      }
      break;
    }
    default:
      break;
    }
  }
}

} // namespace

bool decodeClass(const nlmsghdr *msg, TcClass *out)
{
  int len = 0;
  const tcmsg *tc = tcHeader(msg, RTM_NEWTCLASS, &len);
  if (tc == nullptr)
    return false;
  *out = TcClass{};
  out->id = tc->tcm_handle;
  out->parent = tc->tcm_parent;
  bool htb = false;
  for (const rtattr *a = tcAttrs(tc); RTA_OK(a, len); a = RTA_NEXT(a, len)) {
    switch (attrType(a)) {
    case TCA_KIND:
      htb = isHtb(a);
      break;
    case TCA_OPTIONS:
      decodeHtbOptions(a, out);
      break;
    case TCA_STATS2:
      decodeStats(a, out);
      break;
    default:
      break;
    }
  }
  return htb;
}

bool decodeRootQdisc(const nlmsghdr *msg, TcRootQdisc *out)
{
  int len = 0;
  const tcmsg *tc = tcHeader(msg, RTM_NEWQDISC, &len);
  if (tc == nullptr || tc->tcm_parent != TC_H_ROOT)
    return false;
  out->ifindex = tc->tcm_ifindex;
  out->handle = tc->tcm_handle;
  out->htb = false;
  for (const rtattr *a = tcAttrs(tc); RTA_OK(a, len); a = RTA_NEXT(a, len)) {
    if (attrType(a) == TCA_KIND)
      out->htb = isHtb(a);
  }
  return true;
}
