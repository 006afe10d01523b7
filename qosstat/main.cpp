#include "qosstat.h"

int main(int argc, char **argv)
{
  return qosstat_main(argc, argv);
}
