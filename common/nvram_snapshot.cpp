// The store is a text file of key=value lines: the file named by NVRAM_FILE,
// or /etc/nvram.conf. The value is everything after the first '=' up to the
// end of the line, less a trailing CR. Lines starting with '#' and lines
// without '=' are ignored. A NUL byte ends its line: the rest of that line is
// ignored.
//
// Writers replace the file: they write a new file and rename it over the old
// one. The file last looked at is held open, so its inode number cannot be
// given to that new file, and a changed inode, size, modification or change
// time triggers a reload. Only a whole read replaces the snapshot: the same
// inode, size and times before and after the read, that many bytes read, and
// a second read that agrees byte for byte.
//
// A file rewritten in place can be caught between two of its writes, with
// nothing changing while it is read. Cut inside a line, it lacks the final
// newline; but so does a whole file whose writer left the newline off. The
// rule that tells them apart:
// - a file that ends with a newline is whole at once, with no wait;
// - one that does not is whole once it has stayed unchanged for kSettleMs:
//   its change time is that old, so a file written earlier costs no wait,
//   or, for a file changed just now, the rest of that time is waited out in
//   steps, checking that the file stays the same, and the wait ends as soon
//   as it changes (then it is read again). A change time ahead of the clock
//   (the clock was set back) counts as just now.
// A writer that stops longer than kSettleMs between two writes of one
// rewrite is beyond this; cut exactly at a line boundary, a file cannot be
// told from a shorter one at all: which is why writers rename.
//
// A kernel may keep file times to its tick: two rewrites in place of one size
// within a tick leave the inode, size and times as they were. A file read
// whole before its last change is kSettleMs old is therefore read once more
// when it is, whatever its times say.
//
// A live store is never briefly empty: once a file with settings was read, a
// file that is missing, unreadable or empty (a rewrite in progress) keeps the
// settings last read. Before any, an empty file is taken as whole once it
// has settled, as one without its final newline is. A store is cleared by a
// file holding only a comment.
#include "nvram_snapshot.h"

#include "samefile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nvram_store {
namespace {

constexpr char kDefaultPath[] = "/etc/nvram.conf";
constexpr int kReadAttempts = 5;
// A writer's longest pause between two writes of one rewrite in place, with
// room for change times kept to the kernel's tick.
constexpr long kSettleMs = 100;
// The steps of a wait for a file without a final newline to settle.
constexpr long kSettleStepMs = 10;

struct Text {
  char bytes[kStoreCapacity + 1];
  size_t len;
};

// Two buffers: a reload fills the spare one and swaps only when the read was whole.
Text g_buffers[2];
Text *g_current = &g_buffers[0];
Text *g_spare = &g_buffers[1];

int g_fd = -1; // the file last read whole, or -1
struct stat g_identity;
bool g_settled = false; // g_fd was read when its last change was kSettleMs old
bool g_loaded = false;  // a file with settings was read
bool g_frozen = false;
bool g_told_unreadable = false;
bool g_told_too_large = false;

const char *store_path()
{
  const char *path = getenv("NVRAM_FILE");
  return path == nullptr || path[0] == '\0' ? kDefaultPath : path;
}

// No file to read: the snapshot stays as it is, the settings last read or,
// before any, none.
void unreadable(const char *path, const char *why)
{
  if (g_told_unreadable)
    return;
  g_told_unreadable = true;
  fprintf(stderr, "nvram: cannot read %s (%s): %s\n", path, why,
          g_loaded ? "the settings last read stay in use" : "every setting reads as empty");
}

// Reads up to the capacity; -1 on a read error.
ssize_t read_up_to_capacity(int fd, char *buf)
{
  size_t len = 0;
  while (len < kStoreCapacity) {
    ssize_t n = read(fd, buf + len, kStoreCapacity - len);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return -1;
    if (n == 0)
      break;
    len += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(len);
}

// Of a file larger than the capacity, only the whole lines are kept.
size_t whole_lines(const char *bytes, size_t len)
{
  while (len > 0 && bytes[len - 1] != '\n')
    --len;
  return len;
}

// Each line becomes a NUL-terminated string, so a value is found in place.
// The bytes after a NUL up to the newline become NULs too: empty lines, which
// hold no key.
void split_lines(Text &text)
{
  bool cut = false;
  for (size_t i = 0; i < text.len; ++i) {
    if (text.bytes[i] == '\n') {
      text.bytes[i] = '\0';
      if (i > 0 && text.bytes[i - 1] == '\r')
        text.bytes[i - 1] = '\0';
      cut = false;
    } else if (cut || text.bytes[i] == '\0') {
      text.bytes[i] = '\0';
      cut = true;
    }
  }
  if (text.len > 0 && text.bytes[text.len - 1] == '\r')
    text.bytes[text.len - 1] = '\0';
  text.bytes[text.len] = '\0';
}

// The spare buffer, read whole, becomes the snapshot.
void use_spare()
{
  split_lines(*g_spare);
  Text *previous = g_current;
  g_current = g_spare;
  g_spare = previous;
}

// Unended: read whole, but without a final newline (see settles()).
enum class Read { Whole, Unended, Changing, Failed };

// The first len bytes of the file read again agree with bytes, and the file
// holds no more than the capacity allows to be read.
bool reads_alike(int fd, const char *bytes, size_t len, bool capped)
{
  char chunk[512];
  size_t pos = 0;
  for (;;) {
    ssize_t n = pread(fd, chunk, sizeof chunk, static_cast<off_t>(pos));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return n == 0 && pos == len;
    size_t got = static_cast<size_t>(n);
    if (pos + got > len)
      return capped && memcmp(chunk, bytes + pos, len - pos) == 0;
    if (memcmp(chunk, bytes + pos, got) != 0)
      return false;
    pos += got;
  }
}

// One attempt: the spare buffer receives the file, whole or not at all.
Read read_once(int fd, const char *path, struct stat *identity)
{
  struct stat before;
  struct stat after;
  if (fstat(fd, &before) != 0)
    return Read::Failed;
  ssize_t got = read_up_to_capacity(fd, g_spare->bytes);
  if (got < 0 || fstat(fd, &after) != 0)
    return Read::Failed;
  size_t len = static_cast<size_t>(got);
  size_t expected = static_cast<size_t>(before.st_size);
  if (expected > kStoreCapacity)
    expected = kStoreCapacity;
  if (!same_version(before, after) || len != expected)
    return Read::Changing;
  bool capped = static_cast<size_t>(before.st_size) > kStoreCapacity;
  if (!reads_alike(fd, g_spare->bytes, len, capped))
    return Read::Changing;
  g_spare->len = len;
  *identity = after;
  // An empty file is whole: a truncation in progress, handled by the caller.
  if (len > 0 && !capped && g_spare->bytes[len - 1] != '\n')
    return Read::Unended;
  if (capped) {
    if (!g_told_too_large) {
      g_told_too_large = true;
      fprintf(stderr, "nvram: %s is larger than %zu bytes: only the whole lines within them are read\n", path,
              kStoreCapacity);
    }
    g_spare->len = whole_lines(g_spare->bytes, len);
  }
  return Read::Whole;
}

void pause_ms(long ms)
{
  timespec left = {0, ms * 1000 * 1000};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

// How long ago, in ms, the file read as identity last changed; -1 for a
// change time ahead of the clock (the clock was set back), or no clock.
long long age_ms(const struct stat &identity)
{
  timespec now;
  if (clock_gettime(CLOCK_REALTIME, &now) != 0)
    return -1;
  return (static_cast<long long>(now.tv_sec) - identity.st_ctim.tv_sec) * 1000 +
         (now.tv_nsec - identity.st_ctim.tv_nsec) / (1000 * 1000);
}

bool aged(const struct stat &identity)
{
  return age_ms(identity) >= kSettleMs;
}

// Whether the file read as identity stays unchanged until its last change
// lies kSettleMs back (see the head of this file).
bool settles(const char *path, const struct stat &identity)
{
  const long long age = age_ms(identity);
  long long left = age < 0 ? kSettleMs : kSettleMs - age;
  while (left > 0) {
    long step = left < kSettleStepMs ? static_cast<long>(left) : kSettleStepMs;
    pause_ms(step);
    left -= step;
    struct stat later;
    if (stat(path, &later) != 0 || !same_version(later, identity))
      return false;
  }
  return true;
}

void load(const char *path)
{
  bool changing = false;
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    if (changing)
      pause_ms(kSettleStepMs);
    // Non-blocking, so a FIFO in the file's place cannot hang the reader.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      unreadable(path, strerror(errno));
      return;
    }
    struct stat identity;
    if (fstat(fd, &identity) != 0 || !S_ISREG(identity.st_mode)) {
      close(fd);
      unreadable(path, "not a regular file");
      return;
    }
    Read result = read_once(fd, path, &identity);
    // Without its final newline, or empty before any settings: whole once
    // settled. A file that changed while it settled is read again at once.
    if (result == Read::Unended || (result == Read::Whole && g_spare->len == 0 && !g_loaded))
      result = settles(path, identity) ? Read::Whole : Read::Unended;
    changing = result == Read::Changing;
    if (result == Read::Failed) {
      int err = errno;
      close(fd);
      unreadable(path, strerror(err));
      return;
    }
    if (result == Read::Whole) {
      // An empty file may be a rewrite in place between its truncation and
      // its write: it is remembered, so that it is not read again, but the
      // settings stay.
      if (g_spare->len > 0) {
        use_spare();
        g_loaded = true;
      }
      if (g_fd >= 0)
        close(g_fd);
      g_fd = fd;
      g_identity = identity;
      g_settled = aged(identity);
      return;
    }
    close(fd);
  }
  // Still being written: keep the previous snapshot; the next read tries again.
}

} // namespace

void refresh()
{
  if (g_frozen)
    return;
  const char *path = store_path();
  struct stat now;
  if (stat(path, &now) != 0) {
    unreadable(path, strerror(errno));
    return;
  }
  if (g_fd >= 0 && same_version(now, g_identity) && (g_settled || !aged(g_identity)))
    return;
  load(path);
}

void load_text(const char *text, size_t len)
{
  size_t kept = len < kStoreCapacity ? len : kStoreCapacity;
  memcpy(g_spare->bytes, text, kept);
  g_spare->len = len > kStoreCapacity ? whole_lines(g_spare->bytes, kept) : kept;
  use_spare();
}

const char *find(const char *key)
{
  size_t keylen = strlen(key);
  const char *found = nullptr;
  const Text &text = *g_current;
  size_t pos = 0;
  while (pos < text.len) {
    const char *line = text.bytes + pos;
    size_t linelen = strlen(line);
    if (line[0] != '#') {
      const char *eq = static_cast<const char *>(memchr(line, '=', linelen));
      if (eq != nullptr && static_cast<size_t>(eq - line) == keylen && memcmp(line, key, keylen) == 0)
        found = eq + 1;
    }
    pos += linelen + 1;
  }
  return found;
}

void freeze(const char *why)
{
  if (g_frozen)
    return;
  g_frozen = true;
  fprintf(stderr, "nvram: %s: %s is no longer reloaded\n", why, store_path());
}

} // namespace nvram_store
