// The reader of comma-separated lists: store entries, user rule records and
// the lines of the port-mapping files.
#pragma once

#include <cstddef>

// Copies field `index` (from 0) of `list`, fields separated by `sep`, into dst
// (at most size - 1 characters, NUL-terminated). -1, with dst untouched, when
// the list has no such field or an argument is missing.
int getNthValueSafe(int index, const char *list, char sep, char *dst, size_t size);
