// Small files at fixed paths: status reports, pid files, link time files,
// host records.
//
// Input files are read only when they are regular files: a FIFO without a
// writer, a device or a directory in place of one counts as absent, so a
// planted special file can neither hang a program nor feed it endless bytes.
// A symlink to a regular file is followed.
//
// Files other programs read are replaced whole: the text goes to a temporary
// file in the same directory, which is then renamed over the old one. A reader
// sees the old file or the new one, never an empty or half-written one, and a
// symlink planted at the path is replaced, never written through.
#pragma once

#include <cstddef>
#include <sys/types.h>

// Opens a regular file for reading without blocking on a special file.
// Returns the descriptor, or -1 when the file does not open or is not a
// regular file (which is then closed again).
int open_input(const char *path);

// Reads at most size - 1 bytes and NUL-terminates them. Returns the number of
// bytes read, or -1 when the file does not open as an input (buf is then
// untouched).
ssize_t read_small_file(const char *path, char *buf, size_t size);
// Reads up to size bytes from an open descriptor, retrying short reads;
// returns the number read (less only at the end of the file or on an error).
size_t read_fully(int fd, void *buf, size_t size);

// Writes all len bytes, resuming after interruptions and short writes; false
// (errno set) when a write fails.
bool write_all(int fd, const char *text, size_t len);

// Replace empties the file before writing, Append writes at its end.
enum class FileWrite { Replace, Append };

// Writes len bytes of text to the file, creating a missing file with mode (less
// the umask). Returns false when the file does not open or not every byte was
// written.
bool write_small_file(const char *path, const char *text, size_t len, FileWrite how = FileWrite::Replace,
                      mode_t mode = 0644);

// Replaces the file whole by len bytes of text (a new file gets mode less the
// umask). On failure the old file stays as it was, no temporary file is left
// and errno tells why.
bool replace_file(const char *path, const char *text, size_t len, mode_t mode = 0644);

// replace_file, and on failure the one line "<program>: cannot write <path>:
// <reason>" on standard error.
bool replace_file_or_report(const char *program, const char *path, const char *text, size_t len,
                            mode_t mode = 0644);
