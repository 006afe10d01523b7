#include "driver.h"

int main(int argc, char **argv)
{
  return vx_qos_main(argc, argv);
}
