#include "refused.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

struct Named {
  long number[Dropped::kMax];
  int count;
  bool tooMany;
};

// "line N" or "line: N", anywhere in the text.
void readNumbers(const char *text, int, void *context)
{
  Named &named = *static_cast<Named *>(context);
  for (const char *p = strstr(text, "line"); p != nullptr; p = strstr(p, "line")) {
    p += 4;
    if (*p == ':')
      ++p;
    char *end = nullptr;
    const long number = strtol(p, &end, 10);
    if (*p != ' ' || end == p)
      continue;
    if (named.count == Dropped::kMax)
      named.tooMany = true;
    else
      named.number[named.count++] = number;
  }
}

struct Marking {
  const Dropped *dropped;
  int fd;
  off_t at;
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

bool dropRefused(int errors, Spool &spool, Dropped &dropped)
{
  Named named{};
  forEachLine(errors, readNumbers, &named);
  if (named.count == 0 || named.tooMany)
    return false;
  Dropped more = dropped;
  for (int i = 0; i < named.count; ++i) {
    const long rule = named.number[i] - 2; // line 1 is *mangle
    if (rule < 0 || rule >= spool.count || isDropped(dropped, static_cast<int>(rule)))
      return false;
    if (isDropped(more, static_cast<int>(rule)))
      continue;
    if (more.count == Dropped::kMax)
      return false;
    more.index[more.count++] = static_cast<int>(rule);
  }
  // Text line 0 is the header: spool line i is text line i + 1.
  Marking m{&more, spool.text, 0, true};
  forEachLine(
      spool.text,
      [](const char *text, int index, void *context) {
        Marking &mark = *static_cast<Marking *>(context);
        if (index > 0 && isDropped(*mark.dropped, index - 1) && pwrite(mark.fd, "#", 1, mark.at) != 1)
          mark.ok = false;
        mark.at += static_cast<off_t>(strlen(text) + 1);
      },
      &m);
  if (m.ok)
    dropped = more;
  return m.ok;
}
