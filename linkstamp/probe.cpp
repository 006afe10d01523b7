#include "probe.h"
#include "linkstamp_seams.h"

#include "command.h"
#include "smallfile.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr int kWanPort = 4;
// The probe looks at no more of the report than this.
constexpr size_t kReportBytes = 128;

} // namespace

int linkFromReport(const char *report, ssize_t len)
{
  if (len < 0) {
    printf("indicate error: Cannot open %s!!!\n", kPortReport);
    return 0;
  }
  if (len == 0 || report == nullptr) {
    printf("indicate error: Cannot read the result of  %s !!!\n", kPortReport);
    return 0;
  }
  std::string_view text(report, static_cast<size_t>(len));
  return text.find("0000") == std::string_view::npos ? 1 : 0;
}

int getPortLinkStatus(int port)
{
  char cmd[64];
  format_into(cmd, sizeof cmd, "%s %d %s", "mii_mgr -g -p", port, "-r 5 > /tmp/WANstatus1");
  run_command_into(cmd, kPortReport);

  char report[kReportBytes + 1];
  ssize_t len = read_small_file(kPortReport, report, sizeof report);
  return linkFromReport(report, len);
}

int getWANPortLinkStatus()
{
  return getPortLinkStatus(kWanPort);
}
