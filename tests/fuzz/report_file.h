// A scratch file in /dev/shm that a harness writes each input to, for the
// parsers that read a report file by path. Removed when the harness exits.
#pragma once

#include <cstddef>
#include <cstdint>

// Creates the scratch directory; name is the file's name in it. Returns its path.
const char *report_file_init(const char *name);
// Replaces the file's contents by the input.
void report_file_write(const uint8_t *data, size_t size);
