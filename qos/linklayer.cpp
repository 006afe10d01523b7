#include "linklayer.h"

#include "state.h"

#include "nvram.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kMaxOverhead = 256;
constexpr int kEthernetHeader = 14;
constexpr int kFrameFloor = 18;   // an Ethernet header and check sum
constexpr int kMinPayload = 46;   // what pads a frame to 64 bytes

enum class Layer { None, Ethernet, Atm, Ptm };
Layer g_layer = Layer::None;
int g_overhead = 0;

// Digits alone, at most three: the value, or -1.
int smallNumber(const char *text)
{
  int n = 0;
  for (int i = 0; i < 4; ++i) {
    if (text[i] == '\0')
      return i > 0 ? n : -1;
    if (text[i] < '0' || text[i] > '9')
      return -1;
    n = n * 10 + (text[i] - '0');
  }
  return -1;
}

} // namespace

void lineStart()
{
  g_layer = Layer::None;
  g_overhead = 0;
  const char *overhead = nvram_bufget(0, "VX_QoSOverhead");
  const char *layer = nvram_bufget(0, "VX_QoSLinkLayer");
  if (overhead != nullptr && *overhead != '\0') {
    const int n = smallNumber(overhead);
    if (n >= 0 && n <= kMaxOverhead) {
      g_overhead = n;
      g_layer = Layer::Ethernet;
    } else {
      printf("%sVX_QoSOverhead is not 0 to 256: ignored\n", kVxTag);
    }
  }
  if (layer != nullptr && *layer != '\0') {
    if (strcmp(layer, "atm") == 0)
      g_layer = Layer::Atm;
    else if (strcmp(layer, "ptm") == 0)
      g_layer = Layer::Ptm;
    else if (strcmp(layer, "ethernet") == 0)
      g_layer = Layer::Ethernet;
    else
      printf("%sVX_QoSLinkLayer is not ethernet, atm or ptm: ignored\n", kVxTag);
  }
  if (g_layer == Layer::Ptm) {
    UPLINK_SPEED = UPLINK_SPEED * 64 / 65;
    DOWNLINK_SPEED = DOWNLINK_SPEED * 64 / 65;
  }
}

const char *sizeTable(const char *dev)
{
  static char words[64];
  if (g_layer == Layer::None)
    return "";
  const int mpu = g_layer != Layer::Atm && g_overhead >= kFrameFloor ? g_overhead + kMinPayload : 0;
  snprintf(words, sizeof words, "stab overhead %d linklayer %s mpu %d ",
           g_overhead - (isPppSession(dev) ? 0 : kEthernetHeader), g_layer == Layer::Atm ? "atm" : "ethernet", mpu);
  return words;
}
