#include "tick.h"
#include "wanwatch_seams.h"

#include "nvram.h"
#include "sequences.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#ifdef WANWATCH_TRACE
#include <fcntl.h>
#include <unistd.h>
#endif

int lastStatus = 0;
int pcount = 0;
char current_wisp_essid[kApAddressSize] = "00:00:00:00:00:00";

namespace {

const LinkProbes kRouterLink = {getWANPortLinkStatus, getWISPLinkStatus, isConnectPPP};

constexpr char kNoAccessPoint[] = "00:00:00:00:00:00";

#ifdef WANWATCH_TRACE
// The lab build's account of a tick, appended whole to the trace file, so
// that a test learns what the watcher itself saw rather than guessing it.
void trace(const char *what, int value)
{
  char line[32];
  int len = snprintf(line, sizeof line, "%s %d\n", what, value);
  int fd = open(WANWATCH_TRACE, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    return;
  ssize_t written = write(fd, line, static_cast<size_t>(len));
  (void)written;
  close(fd);
}
#else
void trace(const char *, int) {}
#endif

// The redial checks' view of the session.
int sessionUp(const LinkProbes &link)
{
  int up = link.ppp();
  trace("session", up);
  return up;
}

using Sequence = void (*)(Wan, const TickSettings &);
using SteadyUp = void (*)(const TickSettings &, const LinkProbes &);

// A PPP session that stays away while the link is up is dialled again once
// 140 (PPPoE) or 4 (PPTP) such ticks have been counted; a tick that sees the
// session starts the count anew. The count is one for both types, so a count left
// above 4 by PPPoE never meets the PPTP threshold.
void redialPppoe(const TickSettings &settings, const LinkProbes &link)
{
  if (sessionUp(link) == 1) {
    pcount = 0;
    return;
  }
  if (pcount == 140) {
    pppoeConnect(Wan::Gateway, settings);
    printf(" killall -q pppd & pppd\n");
    pcount = 0;
  }
  ++pcount;
}

void redialPptp(const TickSettings &settings, const LinkProbes &link)
{
  if (sessionUp(link) == 1) {
    pcount = 0;
    return;
  }
  if (pcount == 4) {
    pcount = 0;
    pptpConnect(Wan::Gateway, settings);
  }
  ++pcount;
}

struct Row {
  const char *connectionMode;
  Sequence upEdge;
  Sequence downEdge;
  SteadyUp steadyUp;
  bool checksAccessPoint;
};

constexpr Row kGatewayRows[] = {
    {"DHCP", dhcpStart, dhcpTeardown, nullptr, false},
    {"PPPOE", pppoeConnect, pppoeTeardown, redialPppoe, false},
    {"PPTP", pptpConnect, pptpTeardown, redialPptp, false},
    {"L2TP", l2tpConnect, l2tpTeardown, nullptr, false},
};

constexpr Row kWispRows[] = {
    {"DHCP", dhcpStart, dhcpTeardown, nullptr, true},
    {"PPPOE", pppoeConnect, pppoeTeardown, nullptr, false},
    {"PPTP", pptpConnect, pptpTeardown, nullptr, false},
    {"L2TP", l2tpConnect, l2tpTeardown, nullptr, false},
};

template <size_t N>
const Row *findRow(const Row (&rows)[N], std::string_view connectionMode)
{
  for (const Row &row : rows) {
    if (connectionMode == row.connectionMode)
      return &row;
  }
  return nullptr;
}

// A new access point needs a new DHCP lease: forgetting the previous link
// status turns the tick into an up edge.
void checkAccessPoint()
{
  if (strcmp(current_wisp_essid, new_wisp_essid) != 0) {
    lastStatus = 0;
    memcpy(current_wisp_essid, new_wisp_essid, sizeof current_wisp_essid);
  }
}

void act(const Row *row, Wan wan, int status, const TickSettings &settings, const LinkProbes &link)
{
  if (row == nullptr)
    return;
  if (row->checksAccessPoint && status == 1)
    checkAccessPoint();
  if (status == 1 && lastStatus == 0)
    row->upEdge(wan, settings);
  else if (status == 0 && lastStatus == 1)
    row->downEdge(wan, settings);
  else if (status == 1 && row->steadyUp != nullptr)
    row->steadyUp(settings, link);
}

} // namespace

void runTick(const LinkProbes &link)
{
  TickSettings settings{};
  settings.radioOff = "";
  settings.opMode = nvram_get(0, "OP_Mode");
  settings.connectionMode = nvram_get(0, "wanConnectionMode");
  settings.pptpMode = nvram_get(0, "wan_pptp_mode");
  settings.l2tpMode = nvram_get(0, "wan_l2tp_mode");
  std::string_view mode = settings.opMode;

  // Modes without an uplink probe know nothing of the link: 0, so that a
  // switch to gateway or WISP mode with the link up starts with an up edge.
  int status = 0;
  if (mode == "0")
    status = link.wanPort();
  else if (mode == "6")
    status = link.wisp();

  if (mode == "0")
    act(findRow(kGatewayRows, settings.connectionMode), Wan::Gateway, status, settings, link);
  if (mode == "1")
    recordLanGateway();
  settings.radioOff = nvram_get(0, "RadioOff");
  if (mode == "6")
    act(findRow(kWispRows, settings.connectionMode), Wan::Wisp, status, settings, link);

  lastStatus = status;
  trace("link", status);
}

void check_link_handler(int)
{
  runTick(kRouterLink);
}

void resetTickState()
{
  lastStatus = 0;
  pcount = 0;
  memcpy(current_wisp_essid, kNoAccessPoint, sizeof current_wisp_essid);
  memcpy(new_wisp_essid, kNoAccessPoint, sizeof new_wisp_essid);
}
