#include "stamps.h"

int main(int argc, char **argv)
{
  return linkstamp_main(argc, argv);
}
