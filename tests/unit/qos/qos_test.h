// The starting point of the QoS unit tests: commands recorded instead of run,
// an empty in-memory store, the run state, the service snapshots and the echo
// level as a fresh run has them.
#pragma once

#include "fake_nvram.h"
#include "recorder.h"

#include "apply.h"
#include "service_chains.h"
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
    fake_nvram_clear();
    applyStart(ApplyMode::RunNow, false);
    setCmdLevel(0);
  }
  void TearDown() override
  {
    setCmdLevel(0);
    RecordingTest::TearDown();
  }
  // The run state as a fresh run has it.
  static void resetRunState()
  {
    OP_MODE = 0;
    WAN_IF = LAN_IF = WLAN_IF = BR_IF = nullptr;
    LAN_IP = LAN_MASK = nullptr;
    UPLINK_SPEED = DOWNLINK_SPEED = 102400;
    qosEnable = qosAutoEnable = 0;
    for (int &p : CATEGORY_PRIO)
      p = 0;
    GAME_PRIO = VOIP_PRIO = MEDIA_PRIO = WEB_PRIO = P2P_PRIO = MAIL_PRIO = 0;
  }
  // The device roles of gateway mode with the WAN on its own port.
  static void gatewayDevices()
  {
    WAN_IF = "eth2.2";
    LAN_IF = BR_IF = "br0";
  }
};
