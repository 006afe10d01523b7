// The link watcher's command lines. Every %s of a format is a value from the
// configuration store (or an interface name) and becomes exactly one literal
// shell word: an empty value an empty word, blanks, quotes, ';' or "$(...)"
// plain characters.
#pragma once

#include <cstddef>

// Room for a whole command line after quoting. A line that would not fit is
// refused whole, never cut: a cut value would dial with a wrong password or
// reach another host.
constexpr size_t kCommandMax = 4096;

// Runs the line formatted from fmt (only %s, each one value). When the quoted
// values do not fit, prints "wanwatch: command too long, not run: <command>"
// and returns -1 without running anything.
int runWords(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
