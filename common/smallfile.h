// Small files at fixed paths: status reports, pid files, link time files,
// host records.
#pragma once

#include <cstddef>
#include <sys/types.h>

// Reads at most size - 1 bytes and NUL-terminates them. Returns the number of
// bytes read, or -1 when the file does not open (buf is then untouched).
ssize_t read_small_file(const char *path, char *buf, size_t size);

// Replace empties the file before writing, Append writes at its end.
enum class FileWrite { Replace, Append };

// Writes len bytes of text to the file, creating a missing file with mode (less
// the umask). Returns false when the file does not open or not every byte was
// written.
bool write_small_file(const char *path, const char *text, size_t len, FileWrite how = FileWrite::Replace,
                      mode_t mode = 0644);
