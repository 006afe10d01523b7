// The store file as last read whole: reloaded when the file changed, so a
// read sees the file as it is now. Once a file with settings was read, a
// missing, unreadable or empty file keeps them.
#pragma once

#include <cstddef>

namespace nvram_store {

// The largest store file read whole; of a larger file only the whole lines
// within this many bytes are read.
constexpr size_t kStoreCapacity = 128 * 1024;

// Brings the snapshot up to date with the store file. Costs one stat() when
// the file has not changed.
void refresh();

// Makes len bytes of text the snapshot, as a whole read of a store file with
// that content would (the fuzz harness parses from memory).
void load_text(const char *text, size_t len);

// The value of key in the snapshot (the later of two lines wins), or nullptr
// when the key is absent. Valid until the next refresh().
const char *find(const char *key);

// Keeps the snapshot for the rest of the process: from now on refresh() does
// nothing and what find() returns stays valid.
void freeze(const char *why);

} // namespace nvram_store
