// The shaping trees as text for a person and as JSON for the web page.
#pragma once

#include "tc_class.h"

#include <cstdio>

struct DeviceTree {
  const char *device;
  uint32_t handle; // the root qdisc's
  const TcClass *classes;
  int count;
};

// Each class under its parent, children in the order of their ids.
void printTreeText(FILE *out, const DeviceTree &tree);

// One document: {"devices":[{"device":..,"role":..,"handle":..,"classes":[..]},..]}.
void printJsonBegin(FILE *out);
void printTreeJson(FILE *out, const DeviceTree &tree, bool first);
void printJsonEnd(FILE *out);
