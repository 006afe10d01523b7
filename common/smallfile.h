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

// Writes len bytes, retrying short writes and EINTR. False when not every
// byte was written (errno tells why).
bool write_all(int fd, const void *data, size_t len);

// Replaces the file whole by len bytes of text (a new file gets mode less the
// umask). On failure the old file stays as it was, no temporary file is left
// and errno tells why. Signals wait while the temporary file exists.
bool replace_file(const char *path, const char *text, size_t len, mode_t mode = 0644);

// Removes the file (a missing one counts as removed); false when it stays.
bool remove_file(const char *path);

// replace_file, and on failure the one line "<program>: cannot write <path>:
// <reason>" on standard error.
bool replace_file_or_report(const char *program, const char *path, const char *text, size_t len,
                            mode_t mode = 0644);

// Makes path a regular file of this process's own user, with one link, before
// a shell command redirects its output there: anything else at the path (a
// FIFO, a symlink, a hard link, another user's file, planted in a shared
// /tmp) is removed first, and the file is made without following a link. In
// a sticky directory no other user can replace it then, so the redirection
// writes this file and cannot block. False when the path cannot be claimed.
bool claim_output_file(const char *path);
