// The configuration store file ("key=value" lines, the later of two lines
// with one key wins, '#' lines and lines without '=' ignored, a trailing CR
// dropped, a NUL ending its line), parsed from memory as a whole read of the
// file, every key looked up against a plain reading of the same text. An input starting with 0xff
// follows a long comment and so runs past the store's capacity, of which only
// the whole lines count.
#include "check.h"

#include "nvram_snapshot.h"

#include <cstring>
#include <map>

namespace {

// A NUL byte ends its line: the rest of the line is skipped.
std::map<std::string, std::string> reference(std::string_view text)
{
  std::map<std::string, std::string> values;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos)
      end = text.size();
    std::string_view line = text.substr(start, end - start);
    size_t nul = line.find('\0');
    if (nul != std::string_view::npos)
      line = line.substr(0, nul);
    else if (line.ends_with('\r'))
      line.remove_suffix(1);
    size_t eq = line.find('=');
    if (!line.starts_with('#') && eq != std::string_view::npos)
      values[std::string(line.substr(0, eq))] = std::string(line.substr(eq + 1));
    start = end + 1;
  }
  return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 8192)
    return 0;
  // Kept from run to run: the long text is not allocated again each time.
  static std::string text;
  const char *input = reinterpret_cast<const char *>(data);
  if (size > 2 && data[0] == 0xff) {
    // A long comment first, so that the capacity ends halfway into the input.
    size_t comment = nvram_store::kStoreCapacity - (size - 1) / 2 - 1;
    text.assign(comment, 'x');
    text[0] = '#';
    text[comment - 1] = '\n';
    text.append(input + 1, size - 1);
  } else {
    text.assign(input, size);
  }
  nvram_store::load_text(text.data(), text.size());

  std::string_view seen = text;
  if (seen.size() > nvram_store::kStoreCapacity) {
    seen = seen.substr(0, nvram_store::kStoreCapacity);
    size_t last = seen.rfind('\n');
    seen = seen.substr(0, last == std::string_view::npos ? 0 : last + 1);
  }
  std::map<std::string, std::string> values = reference(seen);
  // Each look-up reads the whole text: a few will do for the long one.
  size_t lookups = text.size() > nvram_store::kStoreCapacity ? 8 : values.size();
  for (const auto &[key, value] : values) {
    if (lookups-- == 0)
      break;
    const char *found = nvram_store::find(key.c_str());
    FUZZ_CHECK_TEXT(found != nullptr && value == found, key);
  }
  // A key no line has.
  std::string absent = "absent-key";
  while (values.count(absent) != 0)
    absent += "-";
  FUZZ_CHECK(nvram_store::find(absent.c_str()) == nullptr);
  return 0;
}
