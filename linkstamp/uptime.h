// Seconds since boot, the number every link time file holds for a link up.
#pragma once

#include <cstddef>

unsigned long currentUptime();

// Room for the largest unsigned long in decimal, the newline and the NUL.
constexpr size_t kStampSize = 3 * sizeof(unsigned long) + 2;

// The link time file's line for an uptime: "%lu\n". Returns its length.
size_t formatStamp(char (&text)[kStampSize], unsigned long uptime);
