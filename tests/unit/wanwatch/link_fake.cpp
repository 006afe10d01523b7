#include "link_fake.h"

#include "fake_nvram.h"

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
} // namespace

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
}

std::vector<std::string> TickTest::ticks(int n)
{
  recorded_commands().clear();
  for (int i = 0; i < n; ++i)
    runTick(kFakeLink);
  return recorded_commands();
}
