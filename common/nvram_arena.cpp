#include "nvram_arena.h"

#include <cstdint>
#include <cstring>

namespace nvram_store {
namespace {

// The arena only grows: a value that changes back to one handed out before
// gets that one again, so a setting flipping between two values costs nothing.
char g_arena[kArenaSize];
size_t g_used = 0;

struct Handed {
  uint32_t key;   // offset of the key in the arena, shared by its values
  uint32_t value; // offset of the value
};
Handed g_handed[kArenaValues];
size_t g_count = 0;

constexpr uint32_t kNone = UINT32_MAX;

uint32_t copy_in(const char *text, size_t size)
{
  uint32_t at = static_cast<uint32_t>(g_used);
  memcpy(g_arena + g_used, text, size);
  g_used += size;
  return at;
}

} // namespace

const char *keep(const char *key, const char *value)
{
  uint32_t keyAt = kNone;
  for (size_t i = 0; i < g_count; ++i) {
    const Handed &h = g_handed[i];
    if (h.key != keyAt && (keyAt != kNone || strcmp(g_arena + h.key, key) != 0))
      continue;
    keyAt = h.key;
    if (strcmp(g_arena + h.value, value) == 0)
      return g_arena + h.value;
  }
  size_t valueSize = strlen(value) + 1;
  size_t need = valueSize + (keyAt == kNone ? strlen(key) + 1 : 0);
  if (g_count == kArenaValues || need > kArenaSize - g_used)
    return nullptr;
  if (keyAt == kNone)
    keyAt = copy_in(key, strlen(key) + 1);
  uint32_t valueAt = copy_in(value, valueSize);
  g_handed[g_count++] = {keyAt, valueAt};
  return g_arena + valueAt;
}

} // namespace nvram_store
