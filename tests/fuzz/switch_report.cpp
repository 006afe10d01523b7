// The switch PHY register report wanwatch reads for the WAN port's link
// ("/tmp/WANstatus", at most 128 bytes): a link-down register reads "0000".
#include "check.h"
#include "report_file.h"

#include "probes.h"

#include <string_view>

namespace {
const char *g_path;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  fuzz_quiet_stdout();
  g_path = report_file_init("WANstatus");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 512)
    return 0;
  report_file_write(data, size);
  // Only the first 128 bytes are read, NUL bytes included.
  std::string_view read(reinterpret_cast<const char *>(data), size < 128 ? size : 128);
  int expected = !read.empty() && read.find("0000") == std::string_view::npos ? 1 : 0;
  FUZZ_CHECK(readPortReport(g_path) == expected);
  return 0;
}
