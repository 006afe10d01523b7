#include "names.h"

#include "app_rules.h"

#include <cstdio>
#include <linux/pkt_sched.h>

namespace {

// The application direction whose leaf mark m is, whichever side it shapes.
bool describeAppMark(int mark, const char *role, char *buf, size_t size)
{
  for (int app = 0; app < kAppCount; ++app) {
    const AppInfo &info = kApps[app];
    for (int d = 0; d < info.directionCount; ++d) {
      const AppDirection &dir = info.directions[d];
      if (APP_MARK[app] + dir.markOffset != mark)
        continue;
      // Games classify TCP and UDP apart (UDP 4 above); email works as pop3
      // towards the LAN and smtp towards the WAN.
      const char *detail = nullptr;
      if (info.directionCount == 4)
        detail = dir.markOffset == 0 ? "TCP" : "UDP";
      else if (app == kEmail)
        detail = kMailWorkName[d];
      snprintf(buf, size, "%s%s%s to %s", APP_NAME[app], detail != nullptr ? " " : "", detail != nullptr ? detail : "",
               role);
      return true;
    }
  }
  return false;
}

} // namespace

const char *treeRole(uint32_t major)
{
  switch (major) {
  case 1:
    return "WAN";
  case 3:
    return "LAN";
  case 5:
    return "WLAN";
  default:
    return nullptr;
  }
}

int markOfMinor(uint32_t minor)
{
  int mark = 0;
  for (int shift = 12; shift >= 0; shift -= 4) {
    uint32_t digit = (minor >> shift) & 0xf;
    if (digit > 9)
      return -1;
    mark = mark * 10 + static_cast<int>(digit);
  }
  return mark;
}

void classPurpose(uint32_t classid, char *buf, size_t size)
{
  buf[0] = '\0';
  const char *role = treeRole(TC_H_MAJ(classid) >> 16);
  int mark = markOfMinor(TC_H_MIN(classid));
  if (role == nullptr || mark < 0)
    return;
  const char *fixed = mark == 1           ? "root"
                      : mark == kHighMark ? "default, high priority"
                      : mark == kLowMark  ? "default, low priority"
                      : mark == kBulkMark ? "default, lowest priority (CS1)"
                                          : nullptr;
  bool userWan = mark >= kUserWanMarkBase && mark < kUserWanMarkBase + kUserRuleCount;
  bool userLan = mark >= kUserLanMarkBase && mark < kUserLanMarkBase + kUserRuleCount;
  if (fixed != nullptr)
    snprintf(buf, size, "%s", fixed);
  else if (userWan || userLan)
    snprintf(buf, size, "user rule %d to %s", mark - (userWan ? kUserWanMarkBase : kUserLanMarkBase),
             userWan ? "WAN" : "LAN");
  else
    describeAppMark(mark, role, buf, size);
}

void handleText(uint32_t handle, char *buf, size_t size)
{
  if (handle == TC_H_ROOT)
    snprintf(buf, size, "root");
  else if (TC_H_MIN(handle) == 0)
    snprintf(buf, size, "%x:", TC_H_MAJ(handle) >> 16);
  else
    snprintf(buf, size, "%x:%x", TC_H_MAJ(handle) >> 16, TC_H_MIN(handle));
}
