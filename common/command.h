// The one way the programs run a command line.
//
// run_command flushes standard output first, so a program's own messages and
// the command's output keep their order, then hands the line to the shell (a
// recorder in the unit tests: common_seams.h). It returns what system() would.
#pragma once

#include <cstddef>

int run_command(const char *line);
// run_command for a line whose output the shell redirects into `output`, a
// file in a directory that other users may write (/tmp): the file is claimed
// first (claim_output_file), and where it cannot be, the line does not run
// and -1 is returned.
int run_command_into(const char *line, const char *output);

// Formats into buf like snprintf; returns false when the text did not fit
// (buf then holds the cut text) or the format failed.
bool format_into(char *buf, size_t size, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
