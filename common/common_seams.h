// Where the shared code's work goes, for tests: command lines, whole-file
// replacements and removals to a recorder instead of the shell and the file system.
#pragma once

#include <cstddef>
#include <sys/types.h>

using CommandSink = int (*)(const char *line);
// Where run_command hands its lines; nullptr restores the shell.
void set_command_sink(CommandSink sink);

using ReplaceSink = bool (*)(const char *path, const char *text, size_t len, mode_t mode);
// Where replace_file's work goes; nullptr restores the file system.
void set_replace_sink(ReplaceSink sink);

using RemoveSink = bool (*)(const char *path);
// Where remove_file's work goes; nullptr restores the file system.
void set_remove_sink(RemoveSink sink);
