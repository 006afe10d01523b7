// The one place where a value becomes a word of a shell command line.
#pragma once

#include <cstddef>

// Writes src as one single-quoted shell word into dst ('it'\''s' for it's).
// The empty text becomes ''. Returns false, with dst empty, when it does not fit.
bool shell_quote(char *dst, size_t size, const char *src);
