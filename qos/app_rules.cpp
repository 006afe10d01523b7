// The eleven predefined applications in their six priority categories.
#include "build.h"

int startSetAppRule()
{
  return 0;
}
