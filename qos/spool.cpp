#include "spool.h"

#include "pieces.h"
#include "smallfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

bool writeLine(int fd, const char *text)
{
  return write_all(fd, text, strlen(text)) && write_all(fd, "\n", 1);
}

// Back to `end`, the end of the last whole line.
void cutBack(int fd, off_t end)
{
  if (end >= 0 && ftruncate(fd, end) == 0)
    lseek(fd, end, SEEK_SET);
}

bool openFiles(Spool &spool)
{
  if (spool.text < 0)
    spool.text = scratchFile();
  if (spool.lines < 0)
    spool.lines = scratchFile();
  return spool.text >= 0 && spool.lines >= 0;
}

} // namespace

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
  if (!openFiles(spool))
    return false;
  const off_t textEnd = lseek(spool.text, 0, SEEK_CUR);
  const off_t linesEnd = lseek(spool.lines, 0, SEEK_CUR);
  if (writeLine(spool.text, text) && writeLine(spool.lines, line)) {
    ++spool.count;
    return true;
  }
  cutBack(spool.text, textEnd);
  cutBack(spool.lines, linesEnd);
  return false;
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

void spoolReplay(Spool &spool, void (*each)(const char *line, int index, void *context), void *context)
{
  forEachLine(spool.lines, each, context);
}

void spoolPrint(Spool &spool)
{
  fflush(stdout);
  forEachLine(spool.text, [](const char *text, int, void *) { writeLine(STDOUT_FILENO, text); }, nullptr);
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
  forEachLine(
      fd,
      [](const char *text, int, void *) {
        if (strncmp(text, "Command failed -:", 17) != 0)
          writeLine(STDERR_FILENO, text);
      },
      nullptr);
}

void forEachLine(int fd, void (*each)(const char *line, int index, void *context), void *context)
{
  if (fd < 0 || lseek(fd, 0, SEEK_SET) < 0)
    return;
  PieceReader reader(fd);
  char line[kSpoolLineMax + 1];
  char piece[513];
  size_t used = 0;
  int index = 0;
  for (size_t n; (n = reader.next(piece, sizeof piece)) > 0;) {
    const bool ends = piece[n - 1] == '\n';
    const size_t len = n - (ends ? 1 : 0);
    const size_t keep = len < kSpoolLineMax - used ? len : kSpoolLineMax - used;
    memcpy(line + used, piece, keep);
    used += keep;
    if (ends) {
      line[used] = '\0';
      each(line, index++, context);
      used = 0;
    }
  }
  if (used > 0) {
    line[used] = '\0';
    each(line, index, context);
  }
}
