// The PPP scripts' state file ("/etc/link"): a session is up when its first
// byte is '1'.
#include "check.h"
#include "report_file.h"

#include "probes.h"

namespace {
const char *g_path;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  g_path = report_file_init("link");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 64)
    return 0;
  report_file_write(data, size);
  FUZZ_CHECK(readPppState(g_path) == (size > 0 && data[0] == '1' ? 1 : 0));
  return 0;
}
