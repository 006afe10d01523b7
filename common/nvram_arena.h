// Values handed out by the store. Each stays valid and unchanged for the
// whole process, whatever later reloads bring.
//
// The copies live in chunks mapped from the kernel as they are needed: the
// store library's own memory, the one place in the system that allocates at
// run time. Chunks are never unmapped, so no copy ever moves or goes away.
#pragma once

#include "nvram_snapshot.h"

#include <cstddef>

namespace nvram_store {

// One chunk holds the largest value a store file can hold, with its key.
constexpr size_t kArenaChunk = 2 * kStoreCapacity;
// The most the arena maps: some 16,000 values of 40 characters.
constexpr size_t kArenaCap = 1024 * 1024;
static_assert(kArenaCap % kArenaChunk == 0);

// The lasting copy of value for key: the one handed out before when it is
// equal, else a new copy. nullptr when the arena has no room for it (its cap
// is reached or the kernel maps no more).
const char *keep(const char *key, const char *value);

} // namespace nvram_store
