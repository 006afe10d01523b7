#include "stamps.h"

#include "probe.h"
#include "uptime.h"

#include "command.h"
#include "nvram.h"
#include "smallfile.h"
#include "textnum.h"

#include <cstring>

namespace {

// The file's old content is replaced by the uptime; if that write fails the
// file keeps the "0" the echo left, which reads as a link down.
void writeUptime(const char *path)
{
  char text[kStampSize];
  size_t len = formatStamp(text, currentUptime());
  write_small_file(path, text, len);
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
  run_command("echo 0 > /var/wan_link");
  if (state == 1)
    writeUptime(kWanLinkFile);
}

void stampAllLinks(int state)
{
  writeWANLinkTime(state);

  // The LAN side always counts as up.
  run_command("echo 0 > /var/lan_link");
  writeUptime(kLanLinkFile);

  run_command("echo 0 > /var/wlan_link");
  if (radioIsOn(nvram_bufget(0, "RadioOff")))
    writeUptime(kWlanLinkFile);
}

void refreshWANLinkTime(int state)
{
  // The file is this program's memory between runs; it keeps the uptime of
  // the last link-up for as long as the link stays up.
  char text[32];
  int previous = 0;
  if (read_small_file(kWanLinkFile, text, sizeof text) < 0)
    run_command("echo 0 > /var/wan_link");
  else
    previous = wanWasUp(text);
  if (previous != state)
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
