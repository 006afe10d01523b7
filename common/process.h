// The program's own process at start, and the one way it starts another
// program and waits for it.
#pragma once

// Called first in every main: SIGCHLD gets its default action (inherited as
// ignored, the kernel would reap the children before their status is read)
// and /dev/null is opened on each of the descriptors 0-2 that is closed, so no
// file the program opens later becomes a standard stream of it or of a child.
void process_start();

enum class Ran {
  NotStarted, // no process, or the program could not be executed
  Ended,      // status holds its wait status
  Unknown,    // it ran, but its status could not be collected
};

struct SpawnResult {
  Ran ran;
  // As system() reports it: the wait status; that of an exit with 127 when
  // the program could not be executed; -1 when there was no process or its
  // status is lost.
  int status;
};

struct SpawnRequest {
  const char *path; // the file to run; nullptr looks argv[0] up on PATH
  const char *const *argv;
  // The child's standard input, output and error; -1 keeps the parent's.
  int stdio[3];
};

// Starts the program and waits for it. The child begins with no signal
// blocked, whatever the caller blocks, and every signal the caller catches at
// its default action; one the caller ignores stays ignored, as under system(). A program that could not be executed is told from one that exited
// with 127 through a close-on-exec pipe the child reports its exec error on.
// Interrupted calls are resumed. Flushes the C streams first. Expects
// descriptors 0-2 to be open (process_start).
SpawnResult spawn_and_wait(const SpawnRequest &request);
