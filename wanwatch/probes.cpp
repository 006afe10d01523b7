#include "probes.h"
#include "wanwatch_seams.h"

#include "command.h"
#include "netioctl.h"
#include "pppsession.h"
#include "smallfile.h"

#include <arpa/inet.h>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

char new_wisp_essid[kApAddressSize] = "00:00:00:00:00:00";

namespace {

constexpr char kGmacControl[] = "/proc/mt7620/gmac";
constexpr char kPortReport[] = "/tmp/WANstatus";
constexpr char kApReport[] = "/var/wisp_Essid_mac";
// The access point report is looked at up to this size, less its NUL.
constexpr size_t kApReportBytes = 128;

bool isWordSpace(char c)
{
  return isspace(static_cast<unsigned char>(c)) != 0;
}

int addressFromKernel(struct ifreq *request)
{
  int rc = socket_ioctl(SIOCGIFADDR, request);
  if (rc == -2) {
    printf("getIfIp: open socket error \n\n");
    return -1;
  }
  return rc;
}

IfAddrSource g_addressSource = addressFromKernel;

} // namespace

void set_ifaddr_source(IfAddrSource source)
{
  g_addressSource = source != nullptr ? source : addressFromKernel;
}

void selectGmacPort(const char *path, int port)
{
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    printf("indicate error: Cannot open /proc/rt3052/ or /proc/rt3352/  gmac file !!!\n");
    return;
  }
  // The driver takes the port number as bare decimal text; a write it refuses
  // leaves the PHY read to answer on its own, as a missing file does.
  char text[16];
  format_into(text, sizeof text, "%d", port);
  ssize_t written = write(fd, text, strlen(text));
  (void)written;
  close(fd);
}

int portReportLink(const char *report, ssize_t len)
{
  if (len < 0) {
    printf("indicate error: Cannot open /tmp/WANstatus!!!\n");
    return 0;
  }
  if (len == 0 || report == nullptr) {
    printf("indicate error: Cannot read the result of  /tmp/WANstatus !!!\n");
    return 0;
  }
  // Every byte read counts, also past a stray NUL.
  std::string_view text(report, static_cast<size_t>(len));
  return text.find("0000") == std::string_view::npos ? 1 : 0;
}

int readPortReport(const char *path)
{
  char report[129];
  return portReportLink(report, read_small_file(path, report, sizeof report));
}

int getPortLinkStatus(int port)
{
  selectGmacPort(kGmacControl, port);
  // The PHY at address 4 is the WAN port's, whatever port was selected above.
  run_command_into("mii_mgr -g -p 4 -r 5 > /tmp/WANstatus", kPortReport);
  return readPortReport(kPortReport);
}

int getWANPortLinkStatus()
{
  return getPortLinkStatus(4);
}

int accessPointIn(const char *text, size_t len)
{
  // Only what the report's buffer holds counts, up to a stray NUL.
  char report[kApReportBytes];
  size_t kept = len < sizeof report - 1 ? len : sizeof report - 1;
  memcpy(report, text, kept);
  report[kept] = '\0';
  const char *word = report;
  while (*word != '\0' && isWordSpace(*word))
    ++word;
  const char *end = word;
  while (*end != '\0' && !isWordSpace(*end))
    ++end;
  size_t wordlen = static_cast<size_t>(end - word);
  // A word that runs into the end of a full buffer may be longer than it looks.
  bool cut = *end == '\0' && len >= sizeof report - 1;
  if (wordlen != kApAddressSize - 1 || cut)
    return 0;
  memcpy(new_wisp_essid, word, wordlen);
  new_wisp_essid[wordlen] = '\0';
  return 1;
}

int readAccessPoint(const char *path)
{
  char report[kApReportBytes];
  ssize_t len = read_small_file(path, report, sizeof report);
  if (len < 0)
    return 0;
  return accessPointIn(report, static_cast<size_t>(len));
}

int getWISPLinkStatus()
{
  run_command("rm -f /var/wisp_Essid_mac");
  run_command("iwconfig ra0 | grep 'Access Point:' | sed 's/^.*Access Point: //g' > /var/wisp_Essid_mac");
  return readAccessPoint(kApReport);
}

namespace {

const char *g_pppReport = kPppReport;

} // namespace

void set_ppp_report(const char *path)
{
  g_pppReport = path != nullptr ? path : kPppReport;
}

int isConnectPPP()
{
  // pppd's ip-up writes "1 IFACE", its ip-down the session's end; a pppd
  // killed outright or crashed leaves "1" behind, but its interface goes
  // with it, and the session must then count as away for the redial check
  // to dial again. The interface is the one reported: a pppd that found
  // unit 0 taken runs on ppp1.
  char ifname[IFNAMSIZ];
  return ppp_session_at(g_pppReport, ifname) && if_nametoindex(ifname) != 0 ? 1 : 0;
}

void pppSessionIf(char (&ifname)[IFNAMSIZ])
{
  ppp_session_at(g_pppReport, ifname);
}

void forgetPppSession()
{
  replace_file_or_report("wanwatch", g_pppReport, "0\n", 2);
}

int getIfIp(const char *ifname, char *ip, size_t size)
{
  // The request always names the interface; a name the kernel cannot hold is
  // refused rather than cut to another interface's name.
  if (ifname == nullptr || ip == nullptr || strnlen(ifname, IFNAMSIZ) >= IFNAMSIZ)
    return -1;
  struct ifreq req;
  memset(&req, 0, sizeof req);
  memcpy(req.ifr_name, ifname, strlen(ifname) + 1);
  if (g_addressSource(&req) < 0 || req.ifr_addr.sa_family != AF_INET)
    return -1;
  struct sockaddr_in addr;
  memcpy(&addr, &req.ifr_addr, sizeof addr);
  char text[INET_ADDRSTRLEN];
  if (inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text) == nullptr || strlen(text) >= size)
    return -1;
  memcpy(ip, text, strlen(text) + 1);
  return 0;
}

int restart_pptp_l2tp(int)
{
  return run_command("restart_ppp.sh");
}
