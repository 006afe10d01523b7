// The base of every build: one HTB shaping tree per present device, and the
// fixed classification rules at the head of the mangle table.
#pragma once

int QoS_add_default_qdisc(const char *dev, int handle, int ceil);
int initQdisc();
void initDefaultRule();
