// The QoS program's command runner and its reader of comma-separated lists.
#pragma once

#include <cstddef>

// Above 0, every command is echoed on standard output before it runs.
extern int vx_cmd_level;

// Formats one command (cut at 1024 characters), echoes it when vx_cmd_level > 0,
// runs it and returns the shell's status.
int vx_doCmd(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Copies field `index` (from 0) of `list`, fields separated by `sep`, into dst
// (at most size - 1 characters, NUL-terminated). -1, with dst untouched, when
// the list has no such field or an argument is missing.
int getNthValueSafe(int index, const char *list, char sep, char *dst, size_t size);
