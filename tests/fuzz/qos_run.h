// A vx_qos build step as a fresh run has it: gateway-mode devices, commands
// recorded and checked, in either way of applying them. In batch mode the
// batch tools are never started: their texts are read back and every line is
// checked as a command line.
#pragma once

#include "apply.h"
#include "qos_seams.h"

// Once per harness: the stand-in tools on PATH and the recording tool runner.
void qos_run_init();
// Before each input: the run state, the record and the apply mode.
void qos_run_start(ApplyMode mode, bool wlan);
// After each input: applies what a batch holds (to the checking tool runner).
void qos_run_finish();
