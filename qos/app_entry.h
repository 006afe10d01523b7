// One application rule entry ("QoSAppRules%d") as the build reads it, and the
// leaf each of its directions gets.
#pragma once

// A direction's settings. The rate value field exists only for rate kinds 0
// (the value is a ceiling) and 1 (a guaranteed rate).
struct DirectionSetting {
  int enable = 0;
  int kind = 0;
  int value = 0; // after rate_check; 0 when the kind has no value field
};

struct AppEntry {
  int level = 0;  // category priority level, field 0
  int enable = 0; // field 1
  DirectionSetting directions[4];
};

// Reads entry text field by field: level, enable, then `directionCount`
// directions through the field cursor (from field 2, three fields for a
// direction of rate kind 0 or 1, two for any other kind).
void readAppEntry(const char *text, int directionCount, AppEntry &entry);

// Class, queue and filter parameters of one application leaf.
struct LeafParams {
  int rate;
  int ceil;
  int classPrio;
  int filterPrio;
};

// The leaf for a direction shaped at link speed `speed` in an application of
// priority `level`. A direction that is off, or whose rate kind carries no
// value, gets the plain leaf: 10 kbit, the link speed as ceiling, prio 4.
LeafParams appLeaf(const DirectionSetting &dir, int level, int speed);
