#include "ssdp.h"

int main()
{
  return hostscout_main();
}
