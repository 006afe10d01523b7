// The link watcher's process: start-up, takeover of a running instance and
// the timer loop.
#pragma once

// Runs until a signal ends it; returns only on a start-up failure (non-zero).
int wanwatch_main();

// Runs a command line in the shell with every signal unblocked in the shell,
// whatever the watcher blocks, and waits for it: the daemons it starts must
// not inherit the watcher's blocked timer signal.
int runShellUnblocked(const char *line);
