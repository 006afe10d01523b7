#include "app_entry.h"

#include "build.h"
#include "cmd.h"
#include "state.h"

#include "textnum.h"

namespace {

// A field read into a cleared buffer of `keep` characters: a field past the
// end of the entry reads as empty, that is 0.
int fieldNumber(const char *text, int index, int keep)
{
  char buf[8] = {};
  getNthValueSafe(index, text, ',', buf, static_cast<size_t>(keep) + 1);
  return text_to_int(buf);
}

constexpr int kFlagChars = 2;
constexpr int kRateChars = 7;
constexpr int kPlainRate = 10;
constexpr int kPlainPrio = 4;

} // namespace

void readAppEntry(const char *text, int directionCount, AppEntry &entry)
{
  entry = AppEntry{};
  if (text == nullptr)
    text = "";
  entry.level = fieldNumber(text, 0, kFlagChars);
  entry.enable = fieldNumber(text, 1, kFlagChars);
  int cursor = 2;
  for (int d = 0; d < directionCount && d < 4; ++d) {
    DirectionSetting &dir = entry.directions[d];
    dir.enable = fieldNumber(text, cursor, kFlagChars);
    dir.kind = fieldNumber(text, cursor + 1, kFlagChars);
    if (dir.kind == 0 || dir.kind == 1) {
      dir.value = fieldNumber(text, cursor + 2, kRateChars);
      rate_check(dir.value);
      cursor += 3;
    } else {
      cursor += 2;
    }
  }
}

LeafParams appLeaf(const DirectionSetting &dir, int level, int speed)
{
  LeafParams plain{kPlainRate, speed, kPlainPrio, kPlainPrio};
  if (dir.enable != 1 || (dir.kind != 0 && dir.kind != 1))
    return plain;
  // A level without a row in the priority table gets the lowest priority.
  if (level < 0 || level > 2)
    level = 2;
  if (dir.kind == 1)
    return {dir.value, speed, CLASS_PRIO[level], FILTER_PRIO[level]};
  int ceil = dir.value >= speed ? speed : dir.value;
  return {kPlainRate, ceil, CLASS_PRIO[level], FILTER_PRIO[level]};
}
