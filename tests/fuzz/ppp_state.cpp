// The PPP scripts' session report ("/etc/link"): a session is up only when
// its first byte is '1', and the interface it names can go into a command
// line as it stands.
#include "check.h"

#include "pppsession.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 64)
    return 0;
  const std::string text(reinterpret_cast<const char *>(data), size);
  char ifname[IFNAMSIZ];
  const bool up = ppp_session_in(text.c_str(), ifname);
  FUZZ_CHECK(!up || text[0] == '1');
  const size_t len = strnlen(ifname, sizeof ifname);
  FUZZ_CHECK(len > 0 && len < sizeof ifname && ifname[0] != '-');
  FUZZ_CHECK(strspn(ifname, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-") == len);
  FUZZ_CHECK(up || strcmp(ifname, "ppp0") == 0);
  return 0;
}
