#include "linklayer.h"

#include "state.h"

#include "nvram.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxOverhead = 256;
constexpr int kEthernetHeader = 14;
constexpr int kFrameFloor = 18; // an Ethernet header and check sum
constexpr int kMinPayload = 46; // what pads a frame to 64 bytes

// How the line carries packets: none (no keys), then kLayers' order.
enum Layer { kNone, kEthernet, kAtm, kPtm };
constexpr char kLayers[3][9] = {"ethernet", "atm", "ptm"};
int g_layer = kNone;
int g_overhead = 0;

const char *keyValue(const char *key)
{
  const char *value = nvram_bufget(0, key);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

void ignored(const char *key, const char *what)
{
  printf("%s%s is not %s: ignored\n", kVxTag, key, what);
}

} // namespace

void lineStart()
{
  g_layer = kNone;
  g_overhead = 0;
  if (const char *overhead = keyValue("VX_QoSOverhead")) {
    const size_t digits = strspn(overhead, "0123456789");
    const int n = atoi(overhead);
    if (overhead[digits] == '\0' && digits <= 3 && n <= kMaxOverhead) {
      g_overhead = n;
      g_layer = kEthernet;
    } else {
      ignored("VX_QoSOverhead", "0 to 256");
    }
  }
  if (const char *layer = keyValue("VX_QoSLinkLayer")) {
    int n = 0;
    while (n < 3 && strcmp(layer, kLayers[n]) != 0)
      ++n;
    if (n < 3)
      g_layer = kEthernet + n;
    else
      ignored("VX_QoSLinkLayer", "ethernet, atm or ptm");
  }
  if (g_layer == kPtm) {
    UPLINK_SPEED = UPLINK_SPEED * 64 / 65;
    DOWNLINK_SPEED = DOWNLINK_SPEED * 64 / 65;
  }
}

const char *sizeTable(const char *dev)
{
  static char words[64];
  if (g_layer == kNone)
    return "";
  const int mpu = g_layer != kAtm && g_overhead >= kFrameFloor ? g_overhead + kMinPayload : 0;
  snprintf(words, sizeof words, "stab overhead %d linklayer %s mpu %d ",
           g_overhead - (isPppSession(dev) ? 0 : kEthernetHeader), g_layer == kAtm ? "atm" : "ethernet", mpu);
  return words;
}
