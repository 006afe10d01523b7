#include "daemon.h"

#include "config.h"
#include "pidfile.h"
#include "probes.h"
#include "tick.h"

#include <csignal>
#include <cstdio>
#include <string_view>

namespace {

constexpr char kPidFile[] = "/var/run/wanwatch.pid";

// Standard output may be a pipe whose reader went away. A caught SIGPIPE
// leaves the failed write to return EPIPE, which is ignored. pppd, udhcpc and
// the scripts the watcher starts get it at its default action and no signal
// blocked; what the watcher's own caller ignores stays ignored (process.h).
void onBrokenPipe(int) {}

void keepRunningOnBrokenPipe()
{
  struct sigaction action = {};
  action.sa_handler = onBrokenPipe;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGPIPE, &action, nullptr);
}

// Messages are best effort: a write error on standard output is dropped.
void flushOutput()
{
  fflush(stdout);
  clearerr(stdout);
}

void seedLastStatus(const StartSettings &settings)
{
  std::string_view mode = settings.opMode;
  if (mode == "0")
    lastStatus = getWANPortLinkStatus();
  else if (mode == "6")
    lastStatus = getWISPLinkStatus();
}

} // namespace

int wanwatch_main()
{
  keepRunningOnBrokenPipe();
  printf("Enter wanwatch \n");
  flushOutput();

  pidfile_take_over(kPidFile, "wanwatch");
  if (!pidfile_write("wanwatch", kPidFile)) {
    printf("Can't create PID file!");
    flushOutput();
    return 1;
  }

  StartSettings settings = readStartSettings();
  bool restartScript = usesRestartScript(settings);
  seedLastStatus(settings);

  // The timer signal is only ever taken here, by the main loop: blocked from
  // before the first expiry, a run never overlaps the next, and expiries
  // that fall due during a long run stay one pending signal.
  sigset_t alarm;
  sigemptyset(&alarm);
  sigaddset(&alarm, SIGALRM);
  sigprocmask(SIG_BLOCK, &alarm, nullptr);
  itimerval timer = tickTimer(restartScript);
  if (setitimer(ITIMER_REAL, &timer, nullptr) != 0) {
    printf("settimer error\n");
    flushOutput();
    return 1;
  }

  // A newer watcher's SIGTERM waits for the end of a run: taken between a
  // sequence's killall and the daemon it then starts, it would leave the
  // link without one, and the newer watcher, finding the link as it was,
  // would start none.
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  for (;;) {
    if (sigwaitinfo(&alarm, nullptr) != SIGALRM)
      continue;
    sigprocmask(SIG_BLOCK, &term, nullptr);
    if (restartScript)
      restart_pptp_l2tp(SIGALRM);
    else
      check_link_handler(SIGALRM);
    flushOutput();
    sigprocmask(SIG_UNBLOCK, &term, nullptr);
  }
}
