#include "batch.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

constexpr char kQuietSuffix[] = "1>/dev/null 2>&1";
constexpr int kMaxWords = CommandWords::kMaxWords;
constexpr size_t kLineMax = sizeof CommandWords::buf - 1;

bool isBlank(char c)
{
  return c == ' ' || c == '\t';
}

bool isPlain(char c)
{
  const unsigned u = static_cast<unsigned char>(c);
  return (u | 0x20) - 'a' < 26 || u - '0' < 10 || (c != '\0' && strchr(".:/,_=+@%-", c) != nullptr);
}

// Splits `buf` in place into words; false when a character outside the plain
// set appears or there are too many words.
bool splitWords(char *buf, const char *(&words)[kMaxWords + 1], int &count)
{
  count = 0;
  for (char *p = buf; *p != '\0';) {
    if (isBlank(*p)) {
      *p++ = '\0';
      continue;
    }
    if (count == kMaxWords)
      return false;
    words[count++] = p;
    while (*p != '\0' && !isBlank(*p)) {
      if (!isPlain(*p))
        return false;
      ++p;
    }
  }
  return true;
}

bool join(const char *const *words, int count, char *out, size_t size)
{
  size_t used = 0;
  for (int i = 0; i < count; ++i) {
    size_t len = strlen(words[i]);
    if (used + len + (i > 0 ? 1 : 0) + 1 > size)
      return false;
    if (i > 0)
      out[used++] = ' ';
    memcpy(out + used, words[i], len);
    used += len;
  }
  out[used] = '\0';
  return true;
}

bool same(const char *a, const char *b)
{
  return strcmp(a, b) == 0;
}

// A word iptables could read as naming a table other than by a separate
// "-t": "-tmangle", "-Ft", "--table" or an abbreviation of it.
bool mayNameTable(const char *word)
{
  size_t len = strlen(word);
  if (word[0] == '-' && word[1] != '-' && len > 2)
    return true;
  return len >= 3 && strncmp(word, "--t", 3) == 0 && strncmp("--table", word, len) == 0;
}

bool isBatchCommand(const char *word)
{
  for (const char *cmd : {"-A", "-D", "-I", "-N", "-X", "-F", "-Z"}) {
    if (same(word, cmd))
      return true;
  }
  return false;
}

BatchKind mangleLine(const char *const *words, int count, char *out, size_t size)
{
  const char *rest[kMaxWords];
  int kept = 0;
  int tables = 0;
  for (int i = 1; i < count; ++i) {
    if (same(words[i], "-t")) {
      if (i + 1 == count || !same(words[i + 1], "mangle"))
        return BatchKind::None;
      ++tables;
      ++i;
      continue;
    }
    if (mayNameTable(words[i]))
      return BatchKind::None;
    rest[kept++] = words[i];
  }
  if (tables != 1 || kept == 0 || !isBatchCommand(rest[0]))
    return BatchKind::None;
  return join(rest, kept, out, size) ? BatchKind::Mangle : BatchKind::None;
}

} // namespace

bool commandWords(const char *line, CommandWords &w)
{
  size_t len = strlen(line);
  if (len > kLineMax)
    return false;
  memcpy(w.buf, line, len + 1);
  w.quiet = false;
  const size_t suffix = sizeof kQuietSuffix - 1;
  if (len > suffix && same(w.buf + len - suffix, kQuietSuffix) && isBlank(w.buf[len - suffix - 1])) {
    w.quiet = true;
    w.buf[len - suffix] = '\0';
  }
  if (!splitWords(w.buf, w.argv, w.count) || w.count < 2)
    return false;
  w.argv[w.count] = nullptr;
  return true;
}

BatchKind batchLine(const char *line, char *out, size_t size)
{
  CommandWords w;
  if (!commandWords(line, w))
    return BatchKind::None;
  const char *const *words = w.argv;
  const int count = w.count;
  const bool quiet = w.quiet;
  if (same(words[0], "tc")) {
    // Options of tc itself have no place in a batch line.
    if (words[1][0] == '-' || !join(words + 1, count - 1, out, size))
      return BatchKind::None;
    return quiet ? BatchKind::TcQuiet : BatchKind::Tc;
  }
  const bool ipv6 = same(words[0], "ip6tables");
  if (!ipv6 && !same(words[0], "iptables"))
    return BatchKind::None;
  const BatchKind kind = mangleLine(words, count, out, size);
  return ipv6 && kind == BatchKind::Mangle ? BatchKind::Mangle6 : kind;
}
