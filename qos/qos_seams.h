// The QoS program's hooks for tests alone: a fresh run state, and the seam
// that starts the batch tools. The production code defines them; nothing
// outside qos/ but tests includes this header.
#pragma once

// Puts every field of the run state (state.h), and the WAN device
// getWanIfName remembers, back to what a fresh run starts with.
void resetRunState();

// Where the PPP session report is read; nullptr restores /etc/link.
void setPppReport(const char *path);

// How the batch tools are started: argv[0] looked up on PATH, standard input
// from `in`, output to `out` and `err` (-1 leaves a stream as it is). Returns
// the exit status, or -1 when the tool could not be started. A seam for tests.
using ToolRunner = int (*)(const char *const argv[], int in, int out, int err);
// nullptr restores the real one.
void setToolRunner(ToolRunner runner);

// How the fair mode writes its files (nf_conntrack_acct and its marker): the
// path and the whole text. nullptr restores the real write.
// The timer resolution the fair mode sizes its bursts by, in ns; 0 asks the
// kernel (clock_getres).
void setTimerResolution(long ns);

using SysctlWriter = bool (*)(const char *path, const char *value);
void setSysctlWriter(SysctlWriter writer);
