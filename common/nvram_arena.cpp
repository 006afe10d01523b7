#include "nvram_arena.h"

#include <cstdint>
#include <cstring>
#include <sys/mman.h>

namespace nvram_store {
namespace {

// A key, or one of its values. The text follows the record.
struct Entry {
  Entry *next;    // the next key, or the next value of the same key
  Entry *values;  // of a key: its values, the one handed out last first
  uint32_t hash;
  char *text() { return reinterpret_cast<char *>(this + 1); }
};

char *g_chunk = nullptr;
size_t g_chunkUsed = 0;
size_t g_mapped = 0;
Entry *g_keys = nullptr;

uint32_t hash_of(const char *text)
{
  uint32_t h = 2166136261u;
  for (; *text != '\0'; ++text)
    h = (h ^ static_cast<unsigned char>(*text)) * 16777619u;
  return h;
}

// size bytes for good: from the current chunk, or from a new one.
void *take(size_t size)
{
  size = (size + alignof(Entry) - 1) & ~(alignof(Entry) - 1);
  if (g_chunk == nullptr || size > kArenaChunk - g_chunkUsed) {
    if (size > kArenaChunk || g_mapped + kArenaChunk > kArenaCap)
      return nullptr;
    void *chunk = mmap(nullptr, kArenaChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (chunk == MAP_FAILED)
      return nullptr;
    g_chunk = static_cast<char *>(chunk);
    g_chunkUsed = 0;
    g_mapped += kArenaChunk;
  }
  void *at = g_chunk + g_chunkUsed;
  g_chunkUsed += size;
  return at;
}

// The entry of text in the list, moved to its front: the next look-up of the
// same value finds it first.
Entry *find_in(Entry **list, const char *text, uint32_t hash)
{
  for (Entry **at = list; *at != nullptr; at = &(*at)->next) {
    Entry *e = *at;
    if (e->hash == hash && strcmp(e->text(), text) == 0) {
      *at = e->next;
      e->next = *list;
      *list = e;
      return e;
    }
  }
  return nullptr;
}

Entry *add_to(Entry **list, const char *text, uint32_t hash)
{
  size_t size = strlen(text) + 1;
  auto *e = static_cast<Entry *>(take(sizeof(Entry) + size));
  if (e == nullptr)
    return nullptr;
  e->next = *list;
  e->values = nullptr;
  e->hash = hash;
  memcpy(e->text(), text, size);
  *list = e;
  return e;
}

} // namespace

const char *keep(const char *key, const char *value)
{
  uint32_t keyHash = hash_of(key);
  Entry *k = find_in(&g_keys, key, keyHash);
  if (k == nullptr)
    k = add_to(&g_keys, key, keyHash);
  if (k == nullptr)
    return nullptr;
  uint32_t valueHash = hash_of(value);
  Entry *v = find_in(&k->values, value, valueHash);
  if (v == nullptr)
    v = add_to(&k->values, value, valueHash);
  return v == nullptr ? nullptr : v->text();
}

} // namespace nvram_store
