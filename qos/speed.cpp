// Link speeds from the two bandwidth settings, in kbit/s.
#include "state.h"

#include "nvram.h"
#include "textnum.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kSpeedCap = 51200;

// "512k" is 512, "10M" is 10240, a bare number is taken as it is. Only the
// first 7 characters of the setting count.
int parseSpeed(const char *value)
{
  char text[8] = {};
  strncpy(text, value != nullptr ? value : "", sizeof text - 1);
  int speed;
  if (strchr(text, 'k') != nullptr) {
    speed = text_to_int(text);
  } else if (strchr(text, 'M') != nullptr) {
    // Seven characters hold at most 999999M: the product stays within an int.
    speed = text_to_int(text) * 1024;
  } else {
    speed = text_to_int(text);
  }
  return speed > kSpeedCap ? kSpeedCap : speed;
}

} // namespace

int initSpeed()
{
  UPLINK_SPEED = parseSpeed(nvram_bufget(0, "VX_QoSUploadBw"));
  DOWNLINK_SPEED = parseSpeed(nvram_bufget(0, "VX_QoSDownloadBw"));
  printf("%sUPLINK_SPEED=%d\n", kVxTag, UPLINK_SPEED);
  printf("%sDOWNLINK_SPEED=%d\n", kVxTag, DOWNLINK_SPEED);
  return 0;
}
