#include "driver.h"

#include "app_rules.h"
#include "apply.h"
#include "fair.h"
#include "rules.h"
#include "spool.h"
#include "service_chains.h"
#include "state.h"
#include "trees.h"
#include "user_rules.h"

#include "nvram.h"
#include "pidfile.h"
#include "textnum.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Devices are padded so the command echo lines up; the list is fixed, so a
// tree left by an earlier run in another mode is removed as well.
constexpr char kClearDevices[] = "ppp0\0eth2.2\0eth2.1\0eth2\0ra0\0apcli0\0br0\0";
constexpr char kClearTree[] = "tc qdisc del dev %-6s root 1>/dev/null 2>&1";

// The texts held in place: a table of pointers costs a relocation each.
struct ModifyRequest {
  char arg[10];
  char service[11];
  char type;
};

constexpr ModifyRequest kModifyRequests[] = {
    {"mod_bt", "bittorrent", 9}, {"mod_emule", "emule", 8}, {"mod_im", "im", 5},
    {"mod_ftp", "ftp", 7},       {"mod_voip", "voip", 4},
};

enum class Guard {
  Taken,     // this run holds the lock on the pid file and removes it at the end
  Refused,   // another run holds it: stop without touching anything
  Unguarded, // no pid file can be created here: build without one
};

RunLock qosRunLock;

// Guards against a second concurrent run. A pid file left by a run that no
// longer holds its lock (a crash, a reused pid) does not block the router's QoS.
Guard takePidFile()
{
  int stale = -1;
  switch (run_lock_take(kQosPidFile, &qosRunLock, &stale)) {
  case RunGuard::Taken:
    if (stale >= 0 && qosRunLock.writable)
      printf("%sremoved stale pid file %s (pid %d not running)\n", kVxTag, kQosPidFile, stale);
    return Guard::Taken;
  case RunGuard::Busy:
    break;
  case RunGuard::Unguarded:
    // No pid file and none can be made (a read-only /var): build anyway, as
    // the shell's "echo > pid file" would have.
    return Guard::Unguarded;
  case RunGuard::NotAFile:
    // No run can hold a lock there, so none is refused: the path is left as
    // it is, as where no pid file can be made.
    printf("%s%s is %s, not a regular file: run without the guard\n", kVxTag, kQosPidFile, qosRunLock.odd);
    return Guard::Unguarded;
  }
  printf("%sNow, the same QoS is running...\n", kVxTag);
  return Guard::Refused;
}

// Exactly "1" turns a mode on; anything else, or no value, leaves it off.
bool keyIsOne(const char *key)
{
  const char *value = nvram_bufget(0, key);
  return value != nullptr && strcmp(value, "1") == 0;
}

// Without the key a run starts ip6tables only to clear what a run in the
// IPv6 mode left (its marker says so), so a router that never used the mode
// runs exactly what it always has.
Ipv6Mode ipv6Wanted()
{
  if (keyIsOne("VX_QoSIPv6"))
    return Ipv6Mode::On;
  return access(kIpv6Marker, F_OK) == 0 ? Ipv6Mode::Clear : Ipv6Mode::Off;
}

// Set once the reset has issued the clearing of an IPv6 table that the mode
// is off for.
bool ipv6Cleared = false;

} // namespace

int clearOldRule()
{
  for (const char *dev = kClearDevices; *dev != '\0'; dev += strlen(dev) + 1)
    vx_doCmd(kClearTree, dev);
  // A PPP session's tree may be on another interface (ppp1 for a pppd that
  // found unit 0 taken), and stays there while the session lasts, whatever
  // the connection type is now.
  static char session[IFNAMSIZ];
  pppSessionIf(session);
  if (strcmp(session, kClearDevices) != 0)
    vx_doCmd(kClearTree, session);
  resetMangle();
  fairAfterReset();
  ipv6Cleared = ipv6Mode() == Ipv6Mode::Clear;
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
  run_lock_release(kQosPidFile, &qosRunLock);
}

int vx_qos_main(int argc, char **argv)
{
  // A dry run prints what a full build would run and changes nothing: no
  // pid file, no command.
  const bool dryRun = argc == 2 && strcmp(argv[1], "--dry-run") == 0;
  const Guard guard = dryRun ? Guard::Unguarded : takePidFile();
  if (guard == Guard::Refused)
    return 0;
  if (guard == Guard::Taken)
    removeScratchLeftover();
  auto finish = [guard] {
    applyFlush();
    if (guard == Guard::Taken) {
      if (ipv6Cleared)
        settleIpv6Marker(kIpv6Marker);
      unlinkQosFile();
    }
    return 0;
  };
  printf("VX : === start running QoS ===  \n");
  if (initIF() < 0)
    return finish();
  qosEnable = text_to_int(nvram_bufget(0, "VX_QoSEnable"));
  qosAutoEnable = text_to_int(nvram_bufget(0, "VX_QoSAutoClassify"));
  printf("%sqosEnable=%d\n", kVxTag, qosEnable);
  printf("%sqosAutoEnable=%d\n", kVxTag, qosAutoEnable);
  applyStart(keyIsOne("VX_QoSBatch") ? ApplyMode::Batch : ApplyMode::RunNow, dryRun, ipv6Wanted());
  fairStart(keyIsOne("VX_QoSFair"), dryRun);
  if (ipv6Mode() == Ipv6Mode::On && guard == Guard::Taken) {
    // Before the first IPv6 rule: a run killed midway leaves it too. A FIFO
    // in its place is not waited on.
    int marker = open(kIpv6Marker, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (marker >= 0)
      close(marker);
  }

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
      fairRules();
      // The check compares with the files once the build is in place: a
      // change made meanwhile (while a batch was applied too) is caught.
      applyFlush();
      fairAfterBuild();
      doCheckService(kPortMappingDir, seen);
      applyFlush();
      printf("VX : === End of setting QoS === \n");
    } else {
      applyFlush();
      fairAfterBuild();
      printf("=====QoS DISABLED!!...======\n");
    }
  }
  return finish();
}
