// vx_qos's reader of comma-separated store values (getNthValueSafe), against
// a plain split of the same text.
#include "check.h"

#include "fields.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 3 || size > 512)
    return 0;
  int index = data[0] % 32;
  char sep = static_cast<char>(data[1]);
  size_t room = data[2] % 40;
  std::string list = fuzz_text(data + 3, size - 3);

  char dst[48];
  memset(dst, 'x', sizeof dst);
  int rc = getNthValueSafe(index, list.c_str(), sep, dst, room);

  std::vector<std::string> fields = sep != '\0' ? fuzz_split(list, sep) : std::vector<std::string>{list};
  if (room == 0 || static_cast<size_t>(index) >= fields.size()) {
    FUZZ_CHECK(rc == -1);
    for (char c : dst)
      FUZZ_CHECK(c == 'x');
    return 0;
  }
  FUZZ_CHECK(rc == 0);
  FUZZ_CHECK(fits(dst, room));
  std::string want = fields[static_cast<size_t>(index)].substr(0, room - 1);
  FUZZ_CHECK_TEXT(want == dst, dst);
  // Nothing written past the room given.
  for (size_t i = room; i < sizeof dst; ++i)
    FUZZ_CHECK(dst[i] == 'x');
  return 0;
}
