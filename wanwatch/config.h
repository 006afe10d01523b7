// What the link watcher fixes at start: the settings read once, which of the
// two timer jobs runs, and the timer.
#pragma once

#include <sys/time.h>

#ifndef WANWATCH_TICK_MS
#define WANWATCH_TICK_MS 0
#endif

// The tick period: five seconds on the router, shorter in a test build.
constexpr long kTickMs = WANWATCH_TICK_MS > 0 ? WANWATCH_TICK_MS : 5000;

struct StartSettings {
  const char *connectionMode;
  const char *pptpWanipMode;
  const char *l2tpWanipMode;
  const char *pptpMode;
  const char *l2tpMode;
  const char *opMode;
};

StartSettings readStartSettings();

// WISP mode with a PPTP or L2TP tunnel whose WAN address comes by DHCP and
// whose wanip mode is 0: the router's restart script keeps the tunnel, and
// the watcher only runs that script on every tick.
bool usesRestartScript(const StartSettings &settings);

// Period kTickMs; the first expiry after a fifth of it (1 s on the router),
// or three fifths (3 s) for the restart script.
itimerval tickTimer(bool restartScript);
