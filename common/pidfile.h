// Pid files: the takeover of a resident or long-running program, and the
// exclusive guard of a program that must never run twice at once.
#pragma once

#include <sys/types.h>

// The number at the start of the file's first line (at most 19 characters,
// leading blanks skipped), or 0 when there is none or the file does not open.
int pidfile_read(const char *path);

// True when pid names a running process whose command name is program.
bool process_is(pid_t pid, const char *program);

// Ends an older instance: sends SIGTERM to the pid in the file when it is
// greater than 1 and names a running `program`; an unrelated process whose pid
// stands in a stale file is left alone. Does not wait.
void pidfile_take_over(const char *path, const char *program);

// Writes the own pid as "%d\n", replacing the file whole (never through a
// symlink at the path). False when it cannot.
bool pidfile_write(const char *path);

enum class PidGuard { Created, Held, Stale, Failed };

// Creates the file holding "%d\n" with the own pid, atomically: of two runs
// started together exactly one gets Created. Held: the file names a live
// process (*holder receives it). Stale: the file named no live process and
// was removed; the caller may try again. Failed: the file cannot be created.
PidGuard pidfile_create_exclusive(const char *path, pid_t *holder);
