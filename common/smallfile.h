// Small files at fixed paths: status reports, pid files, link time files.
#pragma once

#include <cstddef>
#include <sys/types.h>

// Reads at most size - 1 bytes and NUL-terminates them. Returns the number of
// bytes read, or -1 when the file does not open (buf is then untouched).
ssize_t read_small_file(const char *path, char *buf, size_t size);

// Replaces the file's content with len bytes of text. Returns false on failure.
bool write_small_file(const char *path, const char *text, size_t len);
