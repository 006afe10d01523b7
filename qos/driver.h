// The order of a run: the pid guard, the settings, the reset, then a full
// build or a modify request.
#pragma once

inline constexpr char kQosPidFile[] = "/var/vx_qos.pid";

int clearOldRule();
int setDefault();
void unlinkQosFile();

// The whole program. Always returns 0.
int vx_qos_main(int argc, char **argv);
