// One marking pair per port rule in FORWARD (or a service port chain) and one
// leaf per direction in the shaping tree the packets leave by.
#include "app_rules.h"

#include "apply.h"
#include "fields.h"
#include "rules.h"
#include "service_chains.h"
#include "trees.h"

#include "nvram.h"
#include "textnum.h"

#include <cstdio>

namespace {

// A field read into a cleared buffer of `keep` characters: a field past the
// end of the entry reads as empty, that is 0.
int fieldNumber(const char *text, int index, int keep)
{
  char buf[8] = {};
  getNthValueSafe(index, text, ',', buf, static_cast<size_t>(keep) + 1);
  return text_to_int(buf);
}

constexpr int kFlagChars = 2;
constexpr int kRateChars = 7;
constexpr int kPlainRate = 10;
constexpr int kPlainPrio = 4;

struct Tree {
  const char *dev;    // the tree's device, nullptr when absent
  int handle;
  int speed;
  const char *outDev; // named after "-o" in the marking rules
};

Tree treeFor(Side side)
{
  if (side == Side::Lan)
    return {LAN_IF, 3, DOWNLINK_SPEED, BR_IF};
  return {WAN_IF, 1, UPLINK_SPEED, WAN_IF};
}

// The marking pairs of an application direction whose ports are fixed, in
// FORWARD. The RETURN after each MARK makes the first match in FORWARD final.
void markFixedAppPorts(int app, int direction, const char *outDev, int mark)
{
  for (const FixedPortRule &r : kFixedPortRules) {
    if (r.app != app || r.direction != direction)
      continue;
    char matches[96];
    snprintf(matches, sizeof matches, " -o %s %s %s", outDev, kPortMatchText[static_cast<int>(r.match)], r.ports);
    markPair({Family::Both, "-t mangle -A FORWARD ", r.proto, matches}, mark);
  }
}

void serviceRules(const Service &s, int direction, int mark, bool (&chainCreated)[kServiceCount], const char *portDir,
                  ServiceSnapshots &seen)
{
  int index = static_cast<int>(&s - kServices);
  // Created here, so its FORWARD jump sits just before the rules of the
  // application's first enabled direction.
  if (!chainCreated[index]) {
    iptableCreateChain(s.chain);
    chainCreated[index] = true;
  }
  ServiceSnapshot read;
  if (doServiceChain(portDir, s.name, direction, mark, read) < 0) {
    printf("%s(%s NO to %s mapping port.)\n", kVxTag, s.name, direction == 0 ? "LAN" : "WAN");
    return;
  }
  // The application's first read is the one the end-of-build check compares with.
  if (!seen.taken[index]) {
    seen.taken[index] = true;
    seen.of[index] = read;
  }
}

// Mail gets a plain class for each mark in the opposite tree too, whether or
// not its directions are enabled: pop3's (direction 0) in the WAN tree,
// smtp's (direction 1) in the LAN and WLAN trees.
void mailExtraClasses(int app, int direction)
{
  if (app != kEmail)
    return;
  if (direction == 0) {
    if (WAN_IF != nullptr)
      plainLeaf(WAN_IF, 1, kPop3Mark, UPLINK_SPEED);
  } else {
    if (LAN_IF != nullptr)
      plainLeaf(LAN_IF, 3, kSmtpMark, DOWNLINK_SPEED);
    if (WLAN_IF != nullptr)
      plainLeaf(WLAN_IF, 5, kSmtpMark, DOWNLINK_SPEED);
  }
}

void buildDirection(int app, int direction, const AppEntry &entry, bool (&chainCreated)[kServiceCount],
                    const char *portDir, ServiceSnapshots &seen)
{
  const AppDirection &d = kApps[app].directions[direction];
  Tree t = treeFor(d.side);
  if (t.dev == nullptr)
    return;
  int mark = APP_MARK[app] + d.markOffset;
  const DirectionSetting &setting = entry.directions[direction];
  // Without the device to name after "-o" a marking pair would be a shell
  // syntax error; the leaf is still built.
  if (setting.enable == 1 && t.outDev != nullptr) {
    const Service *s = serviceByType(app);
    if (s != nullptr)
      serviceRules(*s, direction, mark, chainCreated, portDir, seen);
    else
      markFixedAppPorts(app, direction, t.outDev, mark);
  }
  const LeafParams l = appLeaf(setting, entry.level, t.speed);
  addLeaf({t.dev, t.handle, mark, l.rate, l.ceil, l.classPrio, l.filterPrio});
  mailExtraClasses(app, direction);
}

} // namespace

void readAppEntry(const char *text, int directionCount, AppEntry &entry)
{
  entry = AppEntry{};
  if (text == nullptr)
    text = "";
  entry.level = fieldNumber(text, 0, kFlagChars);
  entry.enable = fieldNumber(text, 1, kFlagChars);
  int cursor = 2;
  for (int d = 0; d < directionCount && d < 4; ++d) {
    DirectionSetting &dir = entry.directions[d];
    dir.enable = fieldNumber(text, cursor, kFlagChars);
    dir.kind = fieldNumber(text, cursor + 1, kFlagChars);
    if (dir.kind == 0 || dir.kind == 1) {
      dir.value = fieldNumber(text, cursor + 2, kRateChars);
      rate_check(dir.value);
      cursor += 3;
    } else {
      cursor += 2;
    }
  }
}

LeafParams appLeaf(const DirectionSetting &dir, int level, int speed)
{
  LeafParams plain{kPlainRate, speed, kPlainPrio, kPlainPrio};
  if (dir.enable != 1 || (dir.kind != 0 && dir.kind != 1))
    return plain;
  // A level without a row in the priority table gets the lowest priority.
  if (level < 0 || level > 2)
    level = 2;
  if (dir.kind == 1)
    return {dir.value, speed, CLASS_PRIO[level], FILTER_PRIO[level]};
  int ceil = dir.value >= speed ? speed : dir.value;
  return {kPlainRate, ceil, CLASS_PRIO[level], FILTER_PRIO[level]};
}

int startSetAppRule(const char *portDir, ServiceSnapshots &seen)
{
  bool chainCreated[kServiceCount] = {};
  for (int app = 0; app < kAppCount; ++app) {
    char key[16];
    snprintf(key, sizeof key, "QoSAppRules%d", app);
    AppEntry entry;
    readAppEntry(nvram_bufget(0, key), kApps[app].directionCount, entry);
    // Slots are shared: the last application of a category sets its level,
    // whether or not it is enabled.
    int slot = kApps[app].categorySlot;
    CATEGORY_PRIO[slot] = entry.level;
    if (entry.enable != 1)
      continue;
    printf("%s%s enabled!! \n", kVxTag, APP_NAME[app]);
    for (int direction = 0; direction < kApps[app].directionCount; ++direction)
      buildDirection(app, direction, entry, chainCreated, portDir, seen);
  }
  printf("%s###Setting APPLICATION end...\n", kVxTag);
  return 0;
}
