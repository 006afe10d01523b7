#include "daemon.h"

int main()
{
  return wanwatch_main();
}
