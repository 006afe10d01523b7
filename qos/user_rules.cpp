// The user's own rules: one POSTROUTING marking pair and one leaf each.
#include "build.h"

void rate_check(int &rate)
{
  if (rate < 10)
    rate = 10;
}

int startSetUserRule()
{
  return 0;
}
