#include "stamps.h"
#include "linkstamp_seams.h"

#include "probe.h"
#include "uptime.h"

#include "nvram.h"
#include "smallfile.h"
#include "textnum.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// "0" for a link down, the uptime for a link up, replacing the file whole: a
// reader never finds it empty. Where there is no room for the new copy (a
// full /var) the file is written in place, as the shell's redirection would,
// so that an old stamp never outlives the state it told. A file that can be
// written neither way is reported on standard error, naming it.
void writeLinkTime(const char *path, bool up)
{
  char text[kStampSize];
  size_t len = formatStamp(text, up ? currentUptime() : 0);
  if (replace_file(path, text, len))
    return;
  int err = errno;
  if (err == ENOSPC) {
    const int fd = open(path, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const bool written = fd >= 0 && write_all(fd, text, len);
    err = errno;
    if (fd >= 0)
      close(fd);
    if (written)
      return;
  }
  fprintf(stderr, "linkstamp: cannot write %s: %s\n", path, strerror(err));
}

} // namespace

StampMode stampModeFromArgs(int argc, char **argv)
{
  if (argc < 2 || argv == nullptr || argv[1] == nullptr)
    return StampMode::None;
  if (strcmp(argv[1], "0") == 0)
    return StampMode::AllLinks;
  if (strcmp(argv[1], "1") == 0)
    return StampMode::WanOnly;
  return StampMode::None;
}

int wanWasUp(const char *text)
{
  return text_to_int(text) != 0 ? 1 : 0;
}

bool radioIsOn(const char *radioOff)
{
  return radioOff != nullptr && strcmp(radioOff, "0") == 0;
}

void writeWANLinkTime(int state)
{
  writeLinkTime(kWanLinkFile, state == 1);
}

void stampAllLinks(int state)
{
  writeWANLinkTime(state);
  // The LAN side always counts as up.
  writeLinkTime(kLanLinkFile, true);
  writeLinkTime(kWlanLinkFile, radioIsOn(nvram_bufget(0, "RadioOff")));
}

void refreshWANLinkTime(int state)
{
  // The file is this program's memory between runs; it keeps the uptime of
  // the last link-up for as long as the link stays up. A missing file (or
  // one that is no regular file) reads as a link down and is written anew.
  char text[32];
  bool present = read_small_file(kWanLinkFile, text, sizeof text) >= 0;
  if (!present || wanWasUp(text) != state)
    writeWANLinkTime(state);
}

int linkstamp_main(int argc, char **argv)
{
  // The probe runs first, whatever the mode.
  int state = getWANPortLinkStatus();
  switch (stampModeFromArgs(argc, argv)) {
  case StampMode::AllLinks:
    stampAllLinks(state);
    break;
  case StampMode::WanOnly:
    refreshWANLinkTime(state);
    break;
  case StampMode::None:
    break;
  }
  return 0;
}
