// An application entry ("QoSAppRules%d") read through the field cursor, and
// the leaf each of its directions gets. The first byte chooses the number of
// directions (1 to 4) and the link speed; the rest is the entry.
#include "check.h"

#include "app_rules.h"
#include "state.h"
#include "qos_seams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 1 || size > 512)
    return 0;
  int directions = 1 + data[0] % 4;
  int speed = 10 + (data[0] >> 2) * 1000;
  std::string text = fuzz_text(data + 1, size - 1);

  AppEntry entry;
  readAppEntry(text.c_str(), directions, entry);
  for (int d = 0; d < 4; ++d) {
    const DirectionSetting &dir = entry.directions[d];
    if (d >= directions) {
      FUZZ_CHECK(dir.enable == 0 && dir.kind == 0 && dir.value == 0);
      continue;
    }
    if (dir.kind == 0 || dir.kind == 1)
      FUZZ_CHECK(dir.value >= 10);
    else
      FUZZ_CHECK(dir.value == 0);

    LeafParams leaf = appLeaf(dir, entry.level, speed);
    FUZZ_CHECK(leaf.rate >= 10);
    FUZZ_CHECK(leaf.ceil >= 10 && leaf.ceil <= speed);
    bool known = leaf.classPrio == CLASS_PRIO[0] || leaf.classPrio == CLASS_PRIO[1] || leaf.classPrio == CLASS_PRIO[2] ||
                 leaf.classPrio == 4;
    FUZZ_CHECK(known);
  }
  readAppEntry(nullptr, directions, entry);
  return 0;
}
