#include "driver.h"

#include "app_rules.h"
#include "apply.h"
#include "service_chains.h"
#include "state.h"
#include "trees.h"
#include "user_rules.h"

#include "nvram.h"
#include "pidfile.h"
#include "textnum.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Devices are padded so the command echo lines up; the table is fixed, so a
// tree left by an earlier run in another mode is removed as well.
constexpr const char *kClearCommands[] = {
    "tc qdisc del dev ppp0   root 1>/dev/null 2>&1", "tc qdisc del dev eth2.2 root 1>/dev/null 2>&1",
    "tc qdisc del dev eth2.1 root 1>/dev/null 2>&1", "tc qdisc del dev eth2   root 1>/dev/null 2>&1",
    "tc qdisc del dev ra0    root 1>/dev/null 2>&1", "tc qdisc del dev apcli0 root 1>/dev/null 2>&1",
    "tc qdisc del dev br0    root 1>/dev/null 2>&1", "iptables -F -t mangle",
};

struct ModifyRequest {
  const char *arg;
  const char *service;
  int type;
};

constexpr ModifyRequest kModifyRequests[] = {
    {"mod_bt", "bittorrent", 9}, {"mod_emule", "emule", 8}, {"mod_im", "im", 5},
    {"mod_ftp", "ftp", 7},       {"mod_voip", "voip", 4},
};

enum class Guard {
  Taken,     // this run created the pid file and removes it at the end
  Refused,   // another run holds it: stop without touching anything
  Unguarded, // no pid file can be created here: build without one
};

// Guards against a second concurrent run. A pid file left by a run that no
// longer exists does not block the router's QoS for ever.
Guard takePidFile()
{
  for (int attempt = 0; attempt < 2; ++attempt) {
    pid_t holder = 0;
    switch (pidfile_create_exclusive(kQosPidFile, &holder)) {
    case PidGuard::Created:
      return Guard::Taken;
    case PidGuard::Held:
      printf("%sNow, the same QoS is running...\n", kVxTag);
      return Guard::Refused;
    case PidGuard::Stale:
      printf("%sremoved stale pid file %s (pid %d not running)\n", kVxTag, kQosPidFile, static_cast<int>(holder));
      break;
    case PidGuard::Failed:
      // /var is full or read-only. A pid file that is there still stops the
      // run; without one, build anyway, as the shell's "echo > pid file"
      // would have, but leave the pid file alone at the end: it is not ours,
      // and another run may have created it meanwhile.
      if (access(kQosPidFile, F_OK) == 0) {
        printf("%sNow, the same QoS is running...\n", kVxTag);
        return Guard::Refused;
      }
      return Guard::Unguarded;
    }
  }
  printf("%sNow, the same QoS is running...\n", kVxTag);
  return Guard::Refused;
}

// "1" turns batch mode on; anything else, or no value, keeps one command at
// a time.
bool batchWanted()
{
  const char *value = nvram_bufget(0, "VX_QoSBatch");
  return value != nullptr && strcmp(value, "1") == 0;
}

} // namespace

int clearOldRule()
{
  for (const char *cmd : kClearCommands)
    vx_doCmd("%s", cmd);
  vx_doCmd("iptables -X -t mangle");
  vx_doCmd("iptables -Z -t mangle");
  return 0;
}

int setDefault()
{
  if (clearOldRule() < 0)
    return -1;
  if (initSpeed() < 0)
    return -1;
  return 0;
}

void unlinkQosFile()
{
  unlink(kQosPidFile);
}

int vx_qos_main(int argc, char **argv)
{
  // A dry run prints what a full build would run and changes nothing: no
  // pid file, no command.
  const bool dryRun = argc == 2 && strcmp(argv[1], "--dry-run") == 0;
  const Guard guard = dryRun ? Guard::Unguarded : takePidFile();
  if (guard == Guard::Refused)
    return 0;
  auto finish = [guard] {
    applyFlush();
    if (guard == Guard::Taken)
      unlinkQosFile();
    return 0;
  };
  printf("VX : === start running QoS ===  \n");
  if (initIF() < 0)
    return finish();
  qosEnable = text_to_int(nvram_bufget(0, "VX_QoSEnable"));
  qosAutoEnable = text_to_int(nvram_bufget(0, "VX_QoSAutoClassify"));
  printf("%sqosEnable=%d\n", kVxTag, qosEnable);
  printf("%sqosAutoEnable=%d\n", kVxTag, qosAutoEnable);
  applyStart(batchWanted() ? ApplyMode::Batch : ApplyMode::RunNow, dryRun);

  if (argc == 2 && !dryRun) {
    const char *arg = argv[1];
    if (strcmp(arg, "1") == 0) {
      setCmdLevel(1);
      printf("%sVX debug: vx_cmd_level=%d\n", kVxTag, cmdLevel());
    }
    for (const ModifyRequest &req : kModifyRequests) {
      if (strcmp(arg, req.arg) != 0)
        continue;
      printf("%sTo Modify %s\n", kVxTag, req.service);
      if (qosEnable != 0) {
        doChangeServiceChain(kPortMappingDir, req.type);
        return finish();
      }
      // With QoS off the request only clears and reports, like a full build.
    }
  }

  if (setDefault() >= 0) {
    if (qosEnable != 0) {
      initQdisc();
      initDefaultRule();
      ServiceSnapshots seen{};
      startSetAppRule(kPortMappingDir, seen);
      startSetUserRule();
      // The check compares with the files once the build is in place: a
      // change made meanwhile (while a batch was applied too) is caught.
      applyFlush();
      doCheckService(kPortMappingDir, seen);
      applyFlush();
      printf("VX : === End of setting QoS === \n");
    } else {
      applyFlush();
      printf("=====QoS DISABLED!!...======\n");
    }
  }
  return finish();
}
