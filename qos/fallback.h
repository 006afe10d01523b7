// Lines a kernel may refuse for want of a feature, and what follows a
// refusal: a note said once per run, and a line issued in place of the
// refused one. Run now, a line is refused when its command fails; batched,
// when tc names it ("Command failed -:N") or iptables-restore's refusal
// leaves it out and it fails alone too.
#pragma once

#include <cstddef>

inline constexpr size_t kFallbackMax = 96;

struct Fallback {
  const char *note = nullptr; // said once per run (nullptr: nothing to say)
  char line[kFallbackMax] = {}; // empty: nothing in its place
};

// The fallback goes with the line at `index` of a batch.
void fallbackSpooled(const void *batch, int index, const Fallback &fallback);
// What the line at `index` of a batch carries, or nullptr.
const Fallback *fallbackOf(const void *batch, int index);
// The batch has run: what its lines carried is forgotten.
void fallbackForget(const void *batch);
// Says the note once per run.
void sayNote(const Fallback &fallback);
bool noteSaid(const char *note);
// A new run: nothing said, nothing pending.
void fallbackReset();
