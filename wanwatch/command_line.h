// The link watcher's command lines. Every %s of a format is a value from the
// configuration store (or an interface name) and becomes exactly one literal
// shell word: an empty value an empty word, blanks, quotes, ';' or "$(...)"
// plain characters.
#pragma once

#include <cstddef>
#include <type_traits>

// Room for a whole command line after quoting. A line that would not fit is
// refused whole, never cut: a cut value would dial with a wrong password or
// reach another host.
constexpr size_t kCommandMax = 4096;

namespace words {

// The number of %s in a format; -1 for any other '%', which the line builder
// would not understand.
consteval int countValues(const char *fmt)
{
  int n = 0;
  for (const char *p = fmt; *p != '\0'; ++p) {
    if (*p != '%')
      continue;
    if (p[1] != 's')
      return -1;
    ++n;
    ++p;
  }
  return n;
}

// Called only when a format does not match its values: not constexpr, so
// the build stops at the call site.
void formatDoesNotMatchValues();

// A format checked while compiling: a literal text whose every '%' is a %s,
// one for each value passed with it.
template <typename... Values>
struct Format {
  const char *text;
  consteval Format(const char *fmt) : text(fmt)
  {
    if (countValues(fmt) != static_cast<int>(sizeof...(Values)))
      formatDoesNotMatchValues();
  }
};

int run(const char *fmt, const char *const *values, size_t count);

} // namespace words

// Runs the line formatted from fmt, each %s replaced by one value quoted as a
// word. When the quoted values do not fit, prints "wanwatch: command too long,
// not run: <command>" and returns -1 without running anything.
template <typename... Values>
  requires(std::is_convertible_v<Values, const char *> && ...)
int runWords(words::Format<std::type_identity_t<Values>...> fmt, Values... values)
{
  const char *list[] = {static_cast<const char *>(values)..., nullptr};
  return words::run(fmt.text, list, sizeof...(Values));
}
