// The switch PHY register report wanwatch reads for the WAN port's link
// ("/tmp/WANstatus", at most 128 bytes read): a link-down register reads "0000".
#include "check.h"

#include "wanwatch_seams.h"

#include <string_view>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  fuzz_quiet_stdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 128)
    return 0;
  // Every byte read counts, NUL bytes included.
  const char *report = reinterpret_cast<const char *>(data);
  std::string_view text(report, size);
  int expected = !text.empty() && text.find("0000") == std::string_view::npos ? 1 : 0;
  FUZZ_CHECK(portReportLink(report, static_cast<ssize_t>(size)) == expected);
  FUZZ_CHECK(portReportLink(report, -1) == 0);
  return 0;
}
