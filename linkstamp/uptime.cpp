#include "uptime.h"

#include "command.h"

#include <cstring>
#include <sys/sysinfo.h>

unsigned long currentUptime()
{
  struct sysinfo info;
  memset(&info, 0, sizeof info);
  // sysinfo only fails on a bad pointer; the zeroed record keeps the answer
  // defined even then.
  sysinfo(&info);
  return static_cast<unsigned long>(info.uptime);
}

size_t formatStamp(char (&text)[kStampSize], unsigned long uptime)
{
  format_into(text, sizeof text, "%lu\n", uptime);
  return strlen(text);
}
