#include "qos_run.h"

#include "check.h"

#include "state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

char g_tools[64];

void remove_tools()
{
  for (const char *tool : {"tc", "iptables-restore"}) {
    std::string path = std::string(g_tools) + "/" + tool;
    unlink(path.c_str());
  }
  rmdir(g_tools);
}

// What a batch tool would read: table headers and the commit, else lines
// that must be as safe as a command line.
int check_batch(const char *const argv[], int in, int, int)
{
  if (in < 0)
    return 0;
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = read(in, buf, sizeof buf)) > 0;)
    text.append(buf, static_cast<size_t>(n));
  for (const std::string &line : fuzz_split(text, '\n')) {
    if (line.empty() || line == "*mangle" || line == "COMMIT")
      continue;
    FUZZ_CHECK_TEXT(strcmp(argv[0], "tc") == 0 || line.starts_with("-A ") || line.starts_with("-F ") ||
                        line.starts_with("-N "),
                    line);
    check_command_line(line.c_str());
  }
  return 0;
}

} // namespace

void qos_run_init()
{
  fuzz_quiet_stdout();
  fuzz_record_commands();
  // Batch mode looks for its tools on PATH; these are never run.
  snprintf(g_tools, sizeof g_tools, "/dev/shm/fuzz-tools-XXXXXX");
  FUZZ_CHECK(mkdtemp(g_tools) != nullptr);
  atexit(remove_tools);
  for (const char *tool : {"tc", "iptables-restore"}) {
    std::string path = std::string(g_tools) + "/" + tool;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0700);
    FUZZ_CHECK(fd >= 0);
    close(fd);
  }
  setenv("PATH", g_tools, 1);
  setToolRunner(check_batch);
}

void qos_run_start(ApplyMode mode, bool wlan)
{
  OP_MODE = 0;
  WAN_IF = "eth2.2";
  LAN_IF = BR_IF = "br0";
  WLAN_IF = wlan ? "ra0" : nullptr;
  LAN_IP = LAN_MASK = nullptr;
  UPLINK_SPEED = DOWNLINK_SPEED = 102400;
  for (int &p : CATEGORY_PRIO)
    p = 0;
  fuzz_commands().clear();
  applyStart(mode, false);
}

void qos_run_finish()
{
  applyFlush();
}
