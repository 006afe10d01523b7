#include "refused.h"

#include "smallfile.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

struct Reading {
  Dropped before; // left out of the refused commit
  Dropped *dropped;
  int remaining;  // rules in the refused commit
  bool named;     // a line was named
  bool usable;    // every line named was a rule
};

// The spool index of the commit's rule number `rule` (from 0): the dropped
// lines before it were left out of the commit.
int spoolIndex(const Dropped &dropped, int rule)
{
  for (int i = 0; i < dropped.count && dropped.index[i] <= rule; ++i)
    ++rule;
  return rule;
}

void add(Reading &r, long lineNumber)
{
  r.named = true;
  const long rule = lineNumber - 2; // line 1 is *mangle
  if (rule < 0 || rule >= r.remaining) {
    r.usable = false;
    return;
  }
  Dropped &d = *r.dropped;
  const int index = spoolIndex(r.before, static_cast<int>(rule));
  if (isDropped(d, index))
    return;
  if (d.count == Dropped::kMax) {
    r.usable = false;
    return;
  }
  int at = d.count++;
  for (; at > 0 && d.index[at - 1] > index; --at)
    d.index[at] = d.index[at - 1];
  d.index[at] = index;
}

// "line N" or "line: N", anywhere in the text.
void readNumbers(const char *text, int, void *context)
{
  Reading &r = *static_cast<Reading *>(context);
  for (const char *p = strstr(text, "line"); p != nullptr; p = strstr(p + 4, "line")) {
    const char *q = p + 4;
    if (*q == ':')
      ++q;
    if (*q != ' ' || isdigit(static_cast<unsigned char>(q[1])) == 0)
      continue;
    add(r, strtol(q + 1, nullptr, 10));
  }
}

struct Copy {
  const Dropped *dropped;
  int fd;
  bool ok;
};

} // namespace

bool isDropped(const Dropped &dropped, int index)
{
  for (int i = 0; i < dropped.count; ++i) {
    if (dropped.index[i] == index)
      return true;
  }
  return false;
}

bool dropRefused(int errors, const Spool &spool, Dropped &dropped)
{
  Reading r{dropped, &dropped, spool.count - dropped.count, false, true};
  forEachLine(errors, readNumbers, &r);
  if (r.named && r.usable && dropped.count > r.before.count)
    return true;
  dropped = r.before;
  return false;
}

int textWithout(const Spool &spool, const Dropped &dropped)
{
  Copy c{&dropped, scratchFile(), true};
  if (c.fd < 0)
    return -1;
  // Line 0 of the text is the header: spool line i is text line i + 1.
  forEachLine(
      spool.text,
      [](const char *text, int index, void *context) {
        Copy &out = *static_cast<Copy *>(context);
        if (out.ok && !isDropped(*out.dropped, index - 1))
          out.ok = write_all(out.fd, text, strlen(text)) && write_all(out.fd, "\n", 1);
      },
      &c);
  if (!c.ok || lseek(c.fd, 0, SEEK_SET) < 0) {
    close(c.fd);
    return -1;
  }
  return c.fd;
}
