// The one way the programs run a command line.
//
// run_command flushes standard output first, so a program's own messages and
// the command's output keep their order, then hands the line to the sink: the
// shell on the router, a recorder in the unit tests.
#pragma once

#include <cstddef>

using CommandSink = int (*)(const char *line);

// nullptr restores the shell.
void set_command_sink(CommandSink sink);
int run_command(const char *line);

// Formats into buf like snprintf; returns false when the text did not fit
// (buf then holds the cut text) or the format failed.
bool format_into(char *buf, size_t size, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
