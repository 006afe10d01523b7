// The link watcher's process: start-up, takeover of a running instance and
// the timer loop.
#pragma once

// Runs until a signal ends it; returns only on a start-up failure (non-zero).
int wanwatch_main();

