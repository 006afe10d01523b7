// The fixed rules at the head of the mangle table.
#include "build.h"

void initDefaultRule()
{
}
