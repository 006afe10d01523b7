// A link whose state the test sets, for driving the watcher tick by tick.
#pragma once

#include "recorder.h"
#include "tick.h"
#include "wanwatch_seams.h"

#include <map>
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

// The old daemons a restart waits for, by name: how many milliseconds each
// takes to exit after the killall, or after SIGKILL (-1: never).
struct FakeDaemon {
  int termMs = 0;
  int killMs = 0;
  bool killed = false;
};

struct FakeProcesses {
  std::map<std::string, FakeDaemon> running;
  int clockMs = 0;
};

extern FakeLink g_link;
// Each SIGKILL and each exit shows among the recorded commands, as
// "[SIGKILL NAME]" and "[NAME exited at MS ms]".
extern FakeProcesses g_processes;
extern const LinkProbes kFakeLink;

// The watcher's state as at start, on a link not yet probed.
void resetWatcher();

// The recorder with a clean store, link and watcher state.
class TickTest : public RecordingTest {
protected:
  void SetUp() override;
  void TearDown() override;
  // Runs n ticks and returns the commands they ran.
  std::vector<std::string> ticks(int n = 1);
};
