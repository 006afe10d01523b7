#include "services.h"

#include <cstring>

ServiceSnapshot BT_STR, EMULE_STR, IM_STR, FTP_STR, VOIP_STR;
int write_to_str = 0;

const Service *serviceByName(const char *name)
{
  for (const Service &s : kServices) {
    if (name != nullptr && strcmp(s.name, name) == 0)
      return &s;
  }
  return nullptr;
}

const Service *serviceByType(int type)
{
  for (const Service &s : kServices) {
    if (s.type == type)
      return &s;
  }
  return nullptr;
}

void resetServiceSnapshots()
{
  for (const Service &s : kServices)
    snapshotClear(*s.snapshot);
  write_to_str = 0;
}
