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

// Writes the own pid as "%d\n", replacing the file whole (a FIFO or symlink at
// the path is replaced, never written through). False when it cannot, after
// the one line "<program>: cannot write <path>: <reason>" on standard error
// (a directory there: "Is a directory").
bool pidfile_write(const char *program, const char *path);

// The guard of a program that must never run twice at once: an exclusive
// lock on its pid file, held for the whole run. The lock, not the pid in the
// file, decides: a file whose lock nobody holds is stale, whatever process its
// number names now, so a crash or a reused pid never blocks later runs.
struct RunLock {
  int fd = -1;               // the locked pid file, or -1
  bool writable = false;     // the pid was written and the file is removed at the end
  const char *odd = nullptr; // NotAFile: what stands at the path ("a FIFO", ...)
};

enum class RunGuard {
  Taken,     // *lock holds the lock
  Busy,      // another run holds it
  Unguarded, // there is no pid file and none can be created (a read-only /var)
  NotAFile,  // something other than a regular file stands at the path (lock->odd)
};

// Opens or creates the file and locks it without waiting, writing the own pid
// into it in place. Where the file cannot be written it is opened for reading
// and the same lock decides. *stale receives the pid of a stale file that held
// one, else -1.
RunGuard run_lock_take(const char *path, RunLock *lock, int *stale);

// Removes the pid file while the lock is still held, then releases it.
void run_lock_release(const char *path, RunLock *lock);
