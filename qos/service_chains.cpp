// Service port chains that follow the port-mapping files of five services.
#include "build.h"

void iptableCreateChain(const char *)
{
}

int iptableCreateFulsh(const char *)
{
  return 0;
}

int doServiceChain(const char *, int, int)
{
  return -1;
}

int doChangeServiceChain(int)
{
  return 0;
}

int doCheckService()
{
  return 0;
}
