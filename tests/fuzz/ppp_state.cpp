// The PPP scripts' state file ("/etc/link"): a session is up when its first
// byte is '1'.
#include "check.h"

#include "wanwatch_seams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 64)
    return 0;
  const char *text = reinterpret_cast<const char *>(data);
  FUZZ_CHECK(pppStateIn(text, size) == (size > 0 && data[0] == '1' ? 1 : 0));
  return 0;
}
