// The wireless client's report of its access point, as wanwatch reads it
// ("/var/wisp_Essid_mac", the text after "Access Point: "): associated when its
// first word, within the first 127 bytes, is an address of 17 characters.
#include "check.h"

#include "wanwatch_seams.h"

#include <cctype>
#include <cstring>

namespace {

bool space(char c)
{
  return isspace(static_cast<unsigned char>(c)) != 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 512)
    return 0;
  memset(new_wisp_essid, 'x', sizeof new_wisp_essid);
  new_wisp_essid[sizeof new_wisp_essid - 1] = '\0';
  int linked = accessPointIn(reinterpret_cast<const char *>(data), size);

  // The first word of the text the report's buffer holds (127 bytes, to a NUL);
  // a word that runs to the end of a full buffer may be longer than it looks.
  std::string text = fuzz_text(data, size < 127 ? size : 127);
  size_t start = 0;
  while (start < text.size() && space(text[start]))
    ++start;
  size_t end = start;
  while (end < text.size() && !space(text[end]))
    ++end;
  bool cut = end == text.size() && size >= 127;
  int expected = end - start == kApAddressSize - 1 && !cut ? 1 : 0;
  FUZZ_CHECK(linked == expected);
  FUZZ_CHECK(fits(new_wisp_essid, sizeof new_wisp_essid));
  if (linked == 1)
    FUZZ_CHECK_TEXT(text.compare(start, end - start, new_wisp_essid) == 0, new_wisp_essid);
  return 0;
}
