// The eleven predefined applications in their six priority categories: one
// marking pair per port rule in FORWARD (or a service port chain) and one leaf
// per direction in the shaping tree the packets leave by.
#include "app_entry.h"
#include "app_table.h"
#include "build.h"
#include "cmd.h"
#include "services.h"
#include "state.h"

#include "nvram.h"

#include <cstdio>
#include <cstring>

namespace {

int *const kCategoryCopies[kCategoryCount] = {&GAME_PRIO, &VOIP_PRIO, &MEDIA_PRIO, &WEB_PRIO, &P2P_PRIO, &MAIL_PRIO};

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

// The RETURN after each MARK makes the first match in FORWARD final.
void fixedPortRules(const char *workName, int direction, const char *outDev, int mark)
{
  for (const FixedPortRule &r : kFixedPortRules) {
    if (r.direction != direction || strcmp(r.workName, workName) != 0)
      continue;
    const PortMatchForm &f = kPortMatchForms[static_cast<int>(r.match)];
    vx_doCmd("iptables -t mangle -A FORWARD -p %s -o %s %s %s -j MARK --set-mark %d", f.proto, outDev, f.option,
             r.ports, mark);
    vx_doCmd("iptables -t mangle -A FORWARD -p %s -o %s %s %s -j RETURN", f.proto, outDev, f.option, r.ports);
  }
}

void serviceRules(const Service &s, int direction, int mark, bool (&chainCreated)[kServiceCount])
{
  int index = static_cast<int>(&s - kServices);
  // Created here, so its FORWARD jump sits just before the rules of the
  // application's first enabled direction.
  if (!chainCreated[index]) {
    iptableCreateChain(s.chain);
    chainCreated[index] = true;
  }
  if (doServiceChain(s.name, direction, mark) < 0)
    printf("%s(%s NO to %s mapping port.)\n", kVxTag, s.name, direction == 0 ? "LAN" : "WAN");
}

void leaf(const Tree &t, int mark, const LeafParams &l)
{
  vx_doCmd("tc class add dev %s parent %d:1 classid %d:%d htb rate %dkbit ceil %dkbit prio %d", t.dev, t.handle,
           t.handle, mark, l.rate, l.ceil, l.classPrio);
  vx_doCmd("tc qdisc add dev %s parent %d:%d handle 1%d: sfq perturb 10", t.dev, t.handle, mark, mark);
  vx_doCmd("tc filter add dev %s parent %d:0 protocol ip prio %d handle %d fw classid %d:%d", t.dev, t.handle,
           l.filterPrio, mark, t.handle, mark);
}

void mailExtraClass(const char *dev, int handle, int mark, int speed)
{
  if (dev == nullptr)
    return;
  vx_doCmd("tc class  add dev %s parent %d:1 classid %d:%d htb rate 10kbit ceil %dkbit prio %d", dev, handle, handle,
           mark, speed, 4);
  vx_doCmd("tc qdisc  add dev %s parent %d:%d handle 1%d: sfq perturb 10", dev, handle, mark, mark);
  vx_doCmd("tc filter add dev %s parent %d:0 protocol ip prio %d handle %d fw classid %d:%d", dev, handle, 4, mark,
           handle, mark);
}

// Mail gets a plain class for each mark in the opposite tree too, whether or
// not its directions are enabled.
void mailExtraClasses(const char *workName)
{
  if (strcmp(workName, "pop3") == 0) {
    mailExtraClass(WAN_IF, 1, 60, UPLINK_SPEED);
  } else if (strcmp(workName, "smtp") == 0) {
    mailExtraClass(LAN_IF, 3, 61, DOWNLINK_SPEED);
    mailExtraClass(WLAN_IF, 5, 61, DOWNLINK_SPEED);
  }
}

void buildDirection(int app, int direction, const AppEntry &entry, bool (&chainCreated)[kServiceCount])
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
      serviceRules(*s, direction, mark, chainCreated);
    else
      fixedPortRules(d.workName, direction, t.outDev, mark);
  }
  leaf(t, mark, appLeaf(setting, entry.level, t.speed));
  mailExtraClasses(d.workName);
}

} // namespace

int startSetAppRule()
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
    *kCategoryCopies[slot] = entry.level;
    if (entry.enable != 1)
      continue;
    write_to_str = 0;
    printf("%s%s enabled!! \n", kVxTag, APP_NAME[app]);
    for (int direction = 0; direction < kApps[app].directionCount; ++direction)
      buildDirection(app, direction, entry, chainCreated);
  }
  printf("%s###Setting APPLICATION end...\n", kVxTag);
  return 0;
}
