#include "batch.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr char kQuietSuffix[] = "1>/dev/null 2>&1";
constexpr int kMaxWords = 64;
constexpr size_t kLineMax = 1024;

bool isBlank(char c)
{
  return c == ' ' || c == '\t';
}

bool isPlain(char c)
{
  return isalnum(static_cast<unsigned char>(c)) != 0 || (c != '\0' && strchr(".:/,_=+@%-", c) != nullptr);
}

// Splits `buf` in place into words; false when a character outside the plain
// set appears or there are too many words.
bool splitWords(char *buf, const char *(&words)[kMaxWords], int &count)
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

bool writeAll(int fd, const char *data, size_t len)
{
  while (len > 0) {
    ssize_t n = write(fd, data, len);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

bool writeLine(int fd, const char *text)
{
  return writeAll(fd, text, strlen(text)) && writeAll(fd, "\n", 1);
}

// Calls `each` with every line of the file (without its newline); a line
// longer than kLineMax comes in pieces.
template <typename F> void forEachLine(int fd, F each)
{
  if (fd < 0 || lseek(fd, 0, SEEK_SET) < 0)
    return;
  static char chunk[4096];
  static char line[kLineMax + 1];
  size_t used = 0;
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      break;
    for (ssize_t i = 0; i < got; ++i) {
      if (chunk[i] != '\n' && used < kLineMax) {
        line[used++] = chunk[i];
        continue;
      }
      line[used] = '\0';
      each(static_cast<const char *>(line));
      used = 0;
      if (chunk[i] != '\n')
        line[used++] = chunk[i];
    }
  }
  if (used > 0) {
    line[used] = '\0';
    each(static_cast<const char *>(line));
  }
}

} // namespace

BatchKind batchLine(const char *line, char *out, size_t size)
{
  char buf[kLineMax + 1];
  size_t len = strlen(line);
  if (len > kLineMax)
    return BatchKind::None;
  memcpy(buf, line, len + 1);
  bool quiet = false;
  const size_t suffix = sizeof kQuietSuffix - 1;
  if (len > suffix && same(buf + len - suffix, kQuietSuffix) && isBlank(buf[len - suffix - 1])) {
    quiet = true;
    buf[len - suffix] = '\0';
  }
  const char *words[kMaxWords];
  int count = 0;
  if (!splitWords(buf, words, count) || count < 2)
    return BatchKind::None;
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

int scratchFile()
{
#ifdef SYS_memfd_create
  int fd = static_cast<int>(syscall(SYS_memfd_create, "vx_qos", 1u /* MFD_CLOEXEC */));
  if (fd >= 0)
    return fd;
#endif
  // Without memory files (older kernels, the router's among them) the file
  // has a name for a moment. One fixed name: a run killed in that moment
  // leaves only it, which the next run removes (removeScratchLeftover, or
  // here). A name is only ever used to get a descriptor, so removing the
  // name of another run's file harms nothing.
  constexpr int kFlags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd2 = open(kScratchPath, kFlags, 0600);
  if (fd2 < 0 && errno == EEXIST) {
    unlink(kScratchPath);
    fd2 = open(kScratchPath, kFlags, 0600);
  }
  if (fd2 >= 0)
    unlink(kScratchPath);
  return fd2;
}

void removeScratchLeftover()
{
  unlink(kScratchPath);
}

bool spoolAdd(Spool &spool, const char *text, const char *line)
{
  if (spool.text < 0)
    spool.text = scratchFile();
  if (spool.lines < 0)
    spool.lines = scratchFile();
  if (spool.text < 0 || spool.lines < 0)
    return false;
  if (!writeLine(spool.text, text) || !writeLine(spool.lines, line))
    return false;
  ++spool.count;
  return true;
}

bool spoolText(Spool &spool, const char *text)
{
  if (spool.text < 0)
    spool.text = scratchFile();
  return spool.text >= 0 && writeLine(spool.text, text);
}

void spoolRewind(Spool &spool)
{
  if (spool.text >= 0)
    lseek(spool.text, 0, SEEK_SET);
}

void spoolReplay(Spool &spool, void (*each)(const char *line))
{
  forEachLine(spool.lines, each);
}

void spoolPrint(Spool &spool)
{
  fflush(stdout);
  forEachLine(spool.text, [](const char *text) { writeLine(STDOUT_FILENO, text); });
}

void spoolClose(Spool &spool)
{
  if (spool.text >= 0)
    close(spool.text);
  if (spool.lines >= 0)
    close(spool.lines);
  spool = Spool{};
}

void forwardErrors(int fd)
{
  forEachLine(fd, [](const char *text) {
    if (strncmp(text, "Command failed -:", 17) != 0)
      writeLine(STDERR_FILENO, text);
  });
}
