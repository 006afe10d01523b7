#include "fallback.h"

#include <cstdio>

namespace {

struct Pending {
  const void *batch;
  int index;
  Fallback fallback;
};

// A tree has about 60 leaves; a line beyond the table is only not replaced.
constexpr int kMaxPending = 96;
Pending g_pending[kMaxPending];
int g_pendingCount = 0;

constexpr int kMaxNotes = 8;
const char *g_said[kMaxNotes];
int g_saidCount = 0;

} // namespace

void fallbackSpooled(const void *batch, int index, const Fallback &fallback)
{
  if (g_pendingCount < kMaxPending)
    g_pending[g_pendingCount++] = {batch, index, fallback};
}

const Fallback *fallbackOf(const void *batch, int index)
{
  for (int i = 0; i < g_pendingCount; ++i) {
    if (g_pending[i].batch == batch && g_pending[i].index == index)
      return &g_pending[i].fallback;
  }
  return nullptr;
}

void fallbackForget(const void *batch)
{
  int kept = 0;
  for (int i = 0; i < g_pendingCount; ++i) {
    if (g_pending[i].batch != batch)
      g_pending[kept++] = g_pending[i];
  }
  g_pendingCount = kept;
}

bool noteSaid(const char *note)
{
  for (int i = 0; i < g_saidCount; ++i) {
    if (g_said[i] == note)
      return true;
  }
  return false;
}

void sayNote(const Fallback &fallback)
{
  if (fallback.note == nullptr || noteSaid(fallback.note))
    return;
  if (g_saidCount < kMaxNotes)
    g_said[g_saidCount++] = fallback.note;
  printf("%s\n", fallback.note);
}

void fallbackReset()
{
  g_pendingCount = 0;
  g_saidCount = 0;
}
