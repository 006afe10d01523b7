#include "config.h"

#include "nvram.h"

#include <string_view>

StartSettings readStartSettings()
{
  StartSettings s{};
  s.connectionMode = nvram_get(0, "wanConnectionMode");
  s.pptpWanipMode = nvram_get(0, "wan_pptp_wanip_mode");
  s.l2tpWanipMode = nvram_get(0, "wan_l2tp_wanip_mode");
  s.pptpMode = nvram_get(0, "wan_pptp_mode");
  s.l2tpMode = nvram_get(0, "wan_l2tp_mode");
  s.opMode = nvram_get(0, "OP_Mode");
  return s;
}

bool usesRestartScript(const StartSettings &s)
{
  using sv = std::string_view;
  if (sv(s.opMode) != "6")
    return false;
  sv type = s.connectionMode;
  return (type == "PPTP" && sv(s.pptpWanipMode) == "0" && sv(s.pptpMode) == "1") ||
         (type == "L2TP" && sv(s.l2tpWanipMode) == "0" && sv(s.l2tpMode) == "1");
}

namespace {

timeval fromMs(long ms)
{
  timeval tv{};
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  return tv;
}

} // namespace

itimerval tickTimer(bool restartScript)
{
  itimerval timer{};
  timer.it_interval = fromMs(kTickMs);
  timer.it_value = fromMs(restartScript ? kTickMs * 3 / 5 : kTickMs / 5);
  return timer;
}
