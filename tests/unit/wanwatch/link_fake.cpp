#include "link_fake.h"

#include "fake_nvram.h"

#include <csignal>
#include <cstring>

FakeLink g_link;

namespace {
int fakePort()
{
  ++g_link.probes;
  return g_link.port;
}
int fakeWisp()
{
  ++g_link.probes;
  if (g_link.wisp == 1)
    snprintf(new_wisp_essid, sizeof new_wisp_essid, "%s", g_link.ap.c_str());
  return g_link.wisp;
}
int fakePpp()
{
  ++g_link.pppChecks;
  return g_link.ppp;
}

// The daemons the test started exit on their own times after the killall,
// which the sequence under test runs just before it waits.
int fakeSignalNamed(const char *name, int sig)
{
  auto it = g_processes.running.find(name);
  if (it == g_processes.running.end())
    return 0;
  FakeDaemon &d = it->second;
  int due = d.killed ? d.killMs : d.termMs;
  if (due >= 0 && g_processes.clockMs >= due) {
    record_command(("[" + it->first + " exited at " + std::to_string(g_processes.clockMs) + " ms]").c_str());
    g_processes.running.erase(it);
    return 0;
  }
  if (sig == SIGKILL) {
    record_command(("[SIGKILL " + it->first + "]").c_str());
    d.killed = true;
    d.killMs = d.killMs < 0 ? -1 : g_processes.clockMs + d.killMs;
  }
  return 1;
}

void fakePause(unsigned ms)
{
  g_processes.clockMs += static_cast<int>(ms);
}

const ProcessTable kFakeProcessTable = {fakeSignalNamed, fakePause};
} // namespace

FakeProcesses g_processes;
const LinkProbes kFakeLink = {fakePort, fakeWisp, fakePpp};

void resetWatcher()
{
  g_link = FakeLink{};
  resetTickState();
}

void TickTest::SetUp()
{
  RecordingTest::SetUp();
  fake_nvram_clear();
  resetWatcher();
  g_processes = FakeProcesses{};
  // Never the machine's own processes.
  set_process_table(&kFakeProcessTable);
}

void TickTest::TearDown()
{
  set_process_table(nullptr);
  set_ppp_report(nullptr);
  RecordingTest::TearDown();
}

std::vector<std::string> TickTest::ticks(int n)
{
  recorded_commands().clear();
  for (int i = 0; i < n; ++i)
    runTick(kFakeLink);
  return recorded_commands();
}
