// The starting point of the QoS unit tests: commands recorded instead of run,
// an empty in-memory store, the run state, the service snapshots and the echo
// level as a fresh run has them.
#pragma once

#include "fake_nvram.h"
#include "recorder.h"

#include "cmd.h"
#include "services.h"
#include "state.h"

#include <string>
#include <vector>

using Lines = std::vector<std::string>;

class QosTest : public RecordingTest {
protected:
  void SetUp() override
  {
    RecordingTest::SetUp();
    resetRunState();
    resetServiceSnapshots();
    fake_nvram_clear();
    vx_cmd_level = 0;
  }
  void TearDown() override
  {
    vx_cmd_level = 0;
    RecordingTest::TearDown();
  }
  // The device roles of gateway mode with the WAN on its own port.
  static void gatewayDevices()
  {
    WAN_IF = "eth2.2";
    LAN_IF = BR_IF = "br0";
  }
};
