#include "restart.h"
#include "wanwatch_seams.h"

#include "proctable.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>

namespace {

constexpr unsigned kPollMs = 20;
// pppd on a dead link sends two Terminate-Requests 3 s apart before it exits:
// longer than a tick, so it is cut short.
constexpr unsigned kTermWaitMs = 2000;
constexpr unsigned kKillWaitMs = 1000;

void pauseMs(unsigned ms)
{
  timespec left = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

const ProcessTable kSystem = {signal_named, pauseMs};
const ProcessTable *g_table = &kSystem;

bool goneWithin(const char *name, unsigned ms)
{
  for (unsigned waited = 0; g_table->signalNamed(name, 0) > 0; waited += kPollMs) {
    if (waited >= ms)
      return false;
    g_table->pause(kPollMs);
  }
  return true;
}

} // namespace

void set_process_table(const ProcessTable *table)
{
  g_table = table != nullptr ? table : &kSystem;
}

void awaitGone(const char *name)
{
  goneWithin(name, kTermWaitMs);
}

void awaitExit(const char *name)
{
  if (goneWithin(name, kTermWaitMs))
    return;
  printf("wanwatch: %s still running 2 s after killall: SIGKILL\n", name);
  g_table->signalNamed(name, SIGKILL);
  if (!goneWithin(name, kKillWaitMs))
    printf("wanwatch: %s did not exit\n", name);
}
