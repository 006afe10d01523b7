// An SSDP answer as hostscout receives it (at most 1024 bytes, NUL bytes
// included): the status check, the storage marker and the device address
// that goes into the ping command, the ARP lookup and the host record.
#include "check.h"

#include "answer.h"
#include "validate.h"

#include <cstring>

namespace {

// The address is the text right after some "http://" and is ended by ':' or '/'.
bool follows_scheme(std::string_view answer, const char *address)
{
  std::string needle = std::string("http://") + address;
  for (size_t at = answer.find(needle); at != std::string_view::npos; at = answer.find(needle, at + 1)) {
    size_t end = at + needle.size();
    if (end < answer.size() && (answer[end] == ':' || answer[end] == '/'))
      return true;
  }
  return false;
}

void check_address(std::string_view answer, size_t size)
{
  char out[32];
  memset(out, 'x', sizeof out);
  bool ok = answer_address(answer, out, size);
  if (size == 0)
    return;
  FUZZ_CHECK(fits(out, size));
  if (!ok) {
    FUZZ_CHECK(out[0] == '\0');
    return;
  }
  FUZZ_CHECK_TEXT(is_dotted_ipv4(out), out);
  FUZZ_CHECK_TEXT(follows_scheme(answer, out), out);
  // No leading zero: the text names the same host for ping and the ARP table.
  for (const char *p = out; *p != '\0'; ++p) {
    bool starts_number = p == out || p[-1] == '.';
    FUZZ_CHECK_TEXT(!(starts_number && p[0] == '0' && p[1] >= '0' && p[1] <= '9'), out);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  // hostscout reads at most 1024 bytes of an answer.
  if (size > 1024)
    return 0;
  std::string_view answer(reinterpret_cast<const char *>(data), size);
  bool passes = answer_passes(answer);
  FUZZ_CHECK(passes == answer.starts_with("HTTP/1.1 200"));
  answer_is_storage(answer);
  check_address(answer, 30);
  check_address(answer, size % 31);
  return 0;
}
