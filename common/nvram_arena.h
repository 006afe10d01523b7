// Values handed out by the store. Each stays valid and unchanged for the
// whole process, whatever later reloads bring.
#pragma once

#include <cstddef>

namespace nvram_store {

constexpr size_t kArenaSize = 32 * 1024; // bytes for keys and values
constexpr size_t kArenaValues = 1024;    // distinct (key, value) pairs

// The lasting copy of value for key: the one handed out before when it is
// equal, else a new copy. nullptr when the arena has no room for it.
const char *keep(const char *key, const char *value);

} // namespace nvram_store
