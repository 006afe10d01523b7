#include "process.h"
#include "qosstat.h"

int main(int argc, char **argv)
{
  process_start();
  return qosstat_main(argc, argv);
}
