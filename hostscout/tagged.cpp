#include "tagged.h"

#include <cstdarg>
#include <cstdio>

void print_tagged(const char *fmt, ...)
{
  fputs("ssdp: ", stdout);
  va_list ap;
  va_start(ap, fmt);
  vprintf(fmt, ap);
  va_end(ap);
}
