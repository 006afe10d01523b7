// The starting point of the QoS unit tests: commands recorded instead of run,
// an empty in-memory store, the run state, the service snapshots and the echo
// level as a fresh run has them.
#pragma once

#include "fake_nvram.h"
#include "recorder.h"

#include "apply.h"
#include "service_chains.h"
#include "state.h"
#include "qos_seams.h"

#include <string>
#include <vector>

using Lines = std::vector<std::string>;

class QosTest : public RecordingTest {
protected:
  void SetUp() override
  {
    RecordingTest::SetUp();
    resetRunState();
    fake_nvram_clear();
    applyStart(ApplyMode::RunNow, false);
    setCmdLevel(0);
  }
  void TearDown() override
  {
    setCmdLevel(0);
    setPppReport(nullptr);
    RecordingTest::TearDown();
  }
  // The device roles of gateway mode with the WAN on its own port.
  static void gatewayDevices()
  {
    WAN_IF = "eth2.2";
    LAN_IF = BR_IF = "br0";
  }
};
