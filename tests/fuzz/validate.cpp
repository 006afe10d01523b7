// The checkers values pass before they go into a command line as they stand,
// the shell quoting of every other value, and the reading of numbers from
// configuration text, each against a plain reference.
#include "check.h"

#include "shellquote.h"
#include "textnum.h"
#include "validate.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

bool digits_only(std::string_view text)
{
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// 1 to 3 digits, 0..255, no leading zero (it would read as octal).
bool octet(std::string_view text)
{
  return digits_only(text) && text.size() <= 3 && std::stoi(std::string(text)) <= 255 &&
         (text.size() == 1 || text[0] != '0');
}

bool reference_ipv4(const std::string &text)
{
  std::vector<std::string> parts = fuzz_split(text, '.');
  if (parts.size() != 4)
    return false;
  for (const std::string &p : parts) {
    if (!octet(p))
      return false;
  }
  return true;
}

// Digits only and at most max, however many leading zeros.
bool reference_number(std::string_view text, unsigned long max)
{
  if (!digits_only(text))
    return false;
  size_t first = text.find_first_not_of('0');
  if (first == std::string_view::npos)
    return true;
  std::string_view significant = text.substr(first);
  return significant.size() <= 10 && std::stoul(std::string(significant)) <= max;
}

// A number as a port or protocol number is written: no leading zero (which
// iptables would read as octal).
bool reference_plain(std::string_view text, unsigned long max)
{
  return reference_number(text, max) && (text.size() == 1 || text[0] != '0');
}

bool reference_port_range(const std::string &text)
{
  size_t colon = text.find(':');
  if (colon == std::string::npos)
    return reference_plain(text, 65535);
  std::string first = text.substr(0, colon), last = text.substr(colon + 1);
  if (first.size() > 7 || !reference_plain(first, 65535) || !reference_plain(last, 65535))
    return false;
  return std::stoul(first) <= std::stoul(last);
}

bool reference_protocol(const std::string &text)
{
  if (text.empty())
    return false;
  if (text[0] >= '0' && text[0] <= '9')
    return reference_plain(text, 255);
  bool letter = (text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z');
  return letter && strcasecmp(text.c_str(), "dscp") != 0 &&
         text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-") == std::string::npos;
}

int reference_int(const std::string &text)
{
  long v = strtol(text.c_str(), nullptr, 10);
  return v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : static_cast<int>(v));
}

void check_quote(const std::string &text, size_t size)
{
  std::vector<char> dst(size + 1, 'x');
  bool ok = shell_quote(dst.data(), size, text.c_str());
  if (size == 0) {
    FUZZ_CHECK(!ok);
    return;
  }
  FUZZ_CHECK(fits(dst.data(), size));
  if (!ok) {
    FUZZ_CHECK(dst[0] == '\0');
    return;
  }
  // One word for the shell, and exactly the text again once unquoted.
  std::vector<std::string> words;
  FUZZ_CHECK(shell_words(dst.data(), words));
  FUZZ_CHECK_TEXT(dst[0] == '\'', dst.data());
  FUZZ_CHECK_TEXT(words.size() == 1 && words[0] == text, dst.data());
  // Nothing but the quoted runs and the escaped quotes between them.
  for (const char *p = dst.data(); *p != '\0';) {
    if (*p == '\'') {
      const char *close = strchr(p + 1, '\'');
      FUZZ_CHECK(close != nullptr);
      p = close + 1;
    } else {
      FUZZ_CHECK_TEXT(p[0] == '\\' && p[1] == '\'', dst.data());
      p += 2;
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > 256)
    return 0;
  std::string text = fuzz_text(data, size);
  const char *t = text.c_str();

  FUZZ_CHECK_TEXT(is_dotted_ipv4(t) == reference_ipv4(text), t);
  FUZZ_CHECK_TEXT(is_address_chars(t) == (text.find_first_not_of("0123456789.") == std::string::npos), t);
  FUZZ_CHECK_TEXT(is_port(t) == reference_plain(text, 65535), t);
  FUZZ_CHECK_TEXT(is_port_range(t) == reference_port_range(text), t);
  FUZZ_CHECK_TEXT(is_protocol(t) == reference_protocol(text), t);

  unsigned long value = 12345;
  bool parsed = parse_decimal(t, 255, &value);
  FUZZ_CHECK_TEXT(parsed == reference_number(text, 255), t);
  FUZZ_CHECK(!parsed || value <= 255);
  FUZZ_CHECK_TEXT(text_to_int(t) == reference_int(text), t);

  check_quote(text, text.size() * 4 + 3);
  check_quote(text, size % 24);
  return 0;
}
