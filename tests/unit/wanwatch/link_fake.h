// A link whose state the test sets, for driving the watcher tick by tick.
#pragma once

#include "recorder.h"
#include "tick.h"
#include "wanwatch_seams.h"

#include <string>
#include <vector>

struct FakeLink {
  int port = 0;             // gateway-mode probe
  int wisp = 0;             // WISP-mode probe
  std::string ap;           // access point while wisp == 1
  int ppp = 0;              // PPP session
  int probes = 0;           // how many times any probe ran
  int pppChecks = 0;
};

extern FakeLink g_link;
extern const LinkProbes kFakeLink;

// The watcher's state as at start, on a link not yet probed.
void resetWatcher();

// The recorder with a clean store, link and watcher state.
class TickTest : public RecordingTest {
protected:
  void SetUp() override;
  // Runs n ticks and returns the commands they ran.
  std::vector<std::string> ticks(int n = 1);
};
