#include "sequences.h"

#include "command.h"
#include "command_line.h"
#include "nvram.h"
#include "probes.h"
#include "restart.h"
#include "smallfile.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

const char *get(const char *key)
{
  return nvram_get(0, key);
}

bool is(const char *value, std::string_view word)
{
  return value == word;
}

// The five arguments of a dial-up script, in its order: the keys of a tunnel
// type, or the values read from them.
struct Account {
  const char *user;
  const char *pass;
  const char *server;
  const char *opmode;
  const char *optime;
};

// The keys of one tunnel type.
struct Tunnel {
  Account account;
  const char *ip;
  const char *netmask;
  const char *gateway;
  bool l2tp;
};

constexpr Tunnel kPptp = {{"wan_pptp_user", "wan_pptp_pass", "wan_pptp_server", "wan_pptp_opmode", "wan_pptp_optime"},
                          "wan_pptp_ip", "wan_pptp_netmask", "wan_pptp_gateway", false};
constexpr Tunnel kL2tp = {{"wan_l2tp_user", "wan_l2tp_pass", "wan_l2tp_server", "wan_l2tp_opmode", "wan_l2tp_optime"},
                          "wan_l2tp_ip", "wan_l2tp_netmask", "wan_l2tp_gateway", true};

void startUdhcpc(Wan wan, const char *hostname)
{
  if (wan == Wan::Gateway)
    runWords("udhcpc -i eth2.2 -s /sbin/udhcpc.sh -p /var/run/udhcpc.pid -h %s &", hostname);
  else
    runWords("udhcpc -i ra0 -s /sbin/udhcpc.sh -p /var/run/udhcpc.pid -h %s &", hostname);
}

constexpr char kGatewayFile[] = "/var/physical_wanIf_gw";

// The value and a newline, byte for byte ("-n" or "\\c" included, which an
// echo would take as its options), replacing the file whole: its readers
// never find it missing or half-written.
void writeGatewayFile(const char *gateway)
{
  static char text[kCommandMax];
  size_t len = strlen(gateway);
  if (len + 1 >= sizeof text) {
    printf("wanwatch: gateway too long, not written: %s\n", kGatewayFile);
    return;
  }
  memcpy(text, gateway, len);
  text[len++] = '\n';
  replace_file_or_report("wanwatch", kGatewayFile, text, len);
}

// The daemons the killalls above stopped have all been sent their signal:
// they exit side by side while the first is waited for.
void awaitOldDaemons(const Tunnel &tunnel, bool udhcpc)
{
  if (udhcpc)
    awaitExit("udhcpc");
  awaitExit("pppd");
  if (tunnel.l2tp)
    awaitExit("l2tpd");
}

// The address of the interface under the tunnel, by the tunnel's address
// mode; any other mode leaves the interface and the old daemons alone.
void underlyingAddress(Wan wan, const Tunnel &tunnel, const char *mode)
{
  if (is(mode, "1")) {
    const char *hostname = get("SystemName");
    runWords("killall -q udhcpc");
    runWords("killall -q pppd");
    if (tunnel.l2tp)
      runWords("killall -q l2tpd");
    awaitOldDaemons(tunnel, true);
    startUdhcpc(wan, hostname);
  } else if (is(mode, "0")) {
    const char *ip = get(tunnel.ip);
    const char *netmask = get(tunnel.netmask);
    const char *gateway = get(tunnel.gateway);
    runWords("killall -q pppd");
    if (tunnel.l2tp)
      runWords("killall -q l2tpd");
    awaitOldDaemons(tunnel, false);
    if (wan == Wan::Gateway)
      runWords("ifconfig eth2.2 %s netmask %s", ip, netmask);
    else
      runWords("ifconfig ra0 %s netmask %s", ip, netmask);
    runWords("route del default");
    runWords("route add default gw %s", gateway);
    writeGatewayFile(gateway);
  }
}

// A teardown's last step: the daemons it stopped have gone, with the scripts
// they were running (udhcpc waits for udhcpc.sh, pppd for ip-up), so a lease
// or a session that was being set up as the link went cannot leave its
// gateway behind.
void forgetGateway(const char *first, const char *second = nullptr)
{
  awaitGone(first);
  if (second != nullptr)
    awaitGone(second);
  remove_file(kGatewayFile);
}

// Teardown head shared by every type but PPPoE: the WAN interface loses its
// address (on ra0 only while the radio is on) and the gateway file goes.
void releaseWanIf(Wan wan, const TickSettings &settings)
{
  if (wan == Wan::Gateway)
    runWords("ifconfig eth2.2 0.0.0.0");
  else if (is(settings.radioOff, "0"))
    runWords("ifconfig ra0 0.0.0.0");
  runWords("rm -f /var/physical_wanIf_gw");
}

// A tunnel's account is read first, then the interface under it gets its
// address; the script line follows.
Account prepareTunnel(Wan wan, const Tunnel &tunnel, const char *mode)
{
  Account values{};
  values.user = get(tunnel.account.user);
  values.pass = get(tunnel.account.pass);
  values.server = get(tunnel.account.server);
  values.opmode = get(tunnel.account.opmode);
  values.optime = get(tunnel.account.optime);
  underlyingAddress(wan, tunnel, mode);
  return values;
}

// The client of a DHCP-addressed tunnel goes with the tunnel's daemons.
void tunnelTeardown(Wan wan, const TickSettings &settings, const Tunnel &tunnel, const char *mode)
{
  releaseWanIf(wan, settings);
  bool dhcp = is(mode, "1");
  if (dhcp)
    runWords("killall -q udhcpc");
  runWords("killall -q pppd");
  if (tunnel.l2tp)
    runWords("killall -q l2tpd");
  forgetGateway("pppd", dhcp ? "udhcpc" : nullptr);
  forgetPppSession();
}

// The IPv6 client of a PPPoE session ends with it; it gets five seconds to
// let go of its lease first.
void stopIpv6Client()
{
  std::string_view session = nvram_bufget(0, "pppoev6_session");
  std::string_view proto = nvram_bufget(0, "wan_ipv6_proto");
  if (proto == "3" && session == "1") {
    runWords("sleep 5");
    runWords("killall -q dhcp6c");
  }
}

} // namespace

const char *wanIfName(Wan wan)
{
  return wan == Wan::Gateway ? "eth2.2" : "ra0";
}

void dhcpStart(Wan wan, const TickSettings &)
{
  const char *hostname = get("SystemName");
  if (wan == Wan::Gateway)
    printf("1111The SystemName is %s \n", hostname);
  runWords("killall -q udhcpc");
  awaitExit("udhcpc");
  if (wan == Wan::Wisp)
    runWords("ifconfig ra0 0.0.0.0");
  startUdhcpc(wan, hostname);
}

void pppoeConnect(Wan wan, const TickSettings &)
{
  const char *user = get("wan_pppoe_user");
  const char *pass = get("wan_pppoe_pass");
  const char *opmode = get("wan_pppoe_opmode");
  const char *optime = get("wan_pppoe_optime");
  if (wan == Wan::Gateway)
    runWords("killall -q pppd");
  else
    runWords("killall -9 pppd");
  awaitExit("pppd");
  runWords("pppoe.sh %s %s %s %s %s", user, pass, wanIfName(wan), opmode, optime);
  // Only the new pppd's ip-up may report a session: a report the old one
  // left (killed outright, it runs no ip-down) would pass the new one's
  // half-made interface for a session that is up.
  forgetPppSession();
  runWords("pppd file /etc/options.pppoe &");
}

void pptpConnect(Wan wan, const TickSettings &settings)
{
  Account a = prepareTunnel(wan, kPptp, settings.pptpMode);
  if (wan == Wan::Gateway)
    runWords("accel-pptp.sh %s %s %s %s %s", a.user, a.pass, a.server, a.opmode, a.optime);
  else
    runWords("pptp.sh %s %s %s %s %s", a.user, a.pass, a.server, a.opmode, a.optime);
  forgetPppSession();
  runWords("pppd file /etc/options.pptp  &");
}

void l2tpConnect(Wan wan, const TickSettings &settings)
{
  Account a = prepareTunnel(wan, kL2tp, settings.l2tpMode);
  runWords("l2tp.sh %s %s %s %s %s", a.user, a.pass, a.server, a.opmode, a.optime);
  forgetPppSession();
  runWords("l2tpd");
  runWords("sleep 1");
  // The session request is one argument naming the server.
  static char request[kCommandMax];
  if (format_into(request, sizeof request, "start-session %s", a.server))
    runWords("l2tp-control %s", request);
  else
    printf("wanwatch: command too long, not run: l2tp-control\n");
}

void dhcpTeardown(Wan wan, const TickSettings &settings)
{
  releaseWanIf(wan, settings);
  runWords("killall -q udhcpc");
  forgetGateway("udhcpc");
}

void pppoeTeardown(Wan wan, const TickSettings &)
{
  // The session's own interface: ppp1 for a pppd that found unit 0 taken.
  char ifname[IFNAMSIZ];
  pppSessionIf(ifname);
  if (strcmp(ifname, "ppp0") == 0)
    runWords("ifconfig ppp0 0.0.0.0");
  else
    runWords("ifconfig %s 0.0.0.0", ifname);
  runWords("rm -f /var/physical_wanIf_gw");
  runWords("killall -q pppd");
  forgetGateway("pppd");
  forgetPppSession();
  if (wan == Wan::Gateway)
    stopIpv6Client();
}

void pptpTeardown(Wan wan, const TickSettings &settings)
{
  tunnelTeardown(wan, settings, kPptp, settings.pptpMode);
}

void l2tpTeardown(Wan wan, const TickSettings &settings)
{
  tunnelTeardown(wan, settings, kL2tp, settings.l2tpMode);
}

void recordLanGateway()
{
  writeGatewayFile(get("lan_gateway"));
}
