#pragma once

inline constexpr char kQosPidFile[] = "/var/vx_qos.pid";

int clearOldRule();
int setDefault();
void unlinkQosFile();

// The whole program: pid guard, settings, reset, then a full build or a
// modify request. Always returns 0.
int vx_qos_main(int argc, char **argv);
