#include "shellquote.h"

bool shell_quote(char *dst, size_t size, const char *src)
{
  static constexpr char kEscapedQuote[] = "'\\''";
  if (dst == nullptr || size == 0)
    return false;
  size_t out = 0;
  auto put = [&](char c) {
    if (out + 1 >= size)
      return false;
    dst[out++] = c;
    return true;
  };
  bool ok = put('\'');
  for (const char *p = src != nullptr ? src : ""; ok && *p != '\0'; ++p) {
    if (*p == '\'') {
      for (const char *e = kEscapedQuote; ok && *e != '\0'; ++e)
        ok = put(*e);
    } else {
      ok = put(*p);
    }
  }
  ok = ok && put('\'');
  dst[ok ? out : 0] = '\0';
  return ok;
}
