// What the watcher fixes at start: its timer job and the timer.
#include <gtest/gtest.h>

#include "config.h"

TEST(StartSettings, RestartScriptOnlyForWispTunnelsWithDhcpAddress)
{
  struct Case {
    StartSettings s; // type, pptp wanip mode, l2tp wanip mode, pptp mode, l2tp mode, OP_Mode
    bool restart;
  } cases[] = {
      {{"L2TP", "", "0", "", "1", "6"}, true},
      {{"PPTP", "0", "", "1", "", "6"}, true},
      {{"L2TP", "", "0", "", "0", "6"}, false},
      {{"L2TP", "", "1", "", "1", "6"}, false},
      {{"L2TP", "0", "", "1", "", "6"}, false}, // the PPTP keys do not count for L2TP
      {{"PPTP", "", "0", "", "1", "6"}, false},
      {{"PPTP", "0", "0", "1", "1", "0"}, false}, // gateway mode: always the reconnect handler
      {{"L2TP", "0", "0", "1", "1", "1"}, false},
      {{"DHCP", "0", "0", "1", "1", "6"}, false},
      {{"PPTP", "00", "", "1", "", "6"}, false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(usesRestartScript(c.s), c.restart) << c.s.connectionMode << " " << c.s.opMode;
}

TEST(StartSettings, TimerPeriodAndFirstExpiry)
{
  auto ms = [](const timeval &tv) { return tv.tv_sec * 1000L + tv.tv_usec / 1000L; };
  itimerval handler = tickTimer(false);
  itimerval script = tickTimer(true);
  EXPECT_EQ(ms(handler.it_interval), kTickMs);
  EXPECT_EQ(ms(script.it_interval), kTickMs);
  EXPECT_EQ(ms(handler.it_value) * 5, kTickMs);
  EXPECT_EQ(ms(script.it_value) * 5, kTickMs * 3);
  EXPECT_LT(handler.it_value.tv_usec, 1000000);
#if WANWATCH_TICK_MS == 0
  EXPECT_EQ(handler.it_interval.tv_sec, 5);
  EXPECT_EQ(handler.it_value.tv_sec, 1);
  EXPECT_EQ(script.it_value.tv_sec, 3);
#endif
}
