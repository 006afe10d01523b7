// The spools that hold a batch until its tool runs: the batch text (what the
// tool reads) and the command lines it came from (run one at a time when the
// tool fails), each in a file held in memory, or unlinked under /var/run
// where that is not possible.
#pragma once

#include <cstddef>

struct Spool {
  int text = -1;
  int lines = -1;
  int count = 0;
};

// Adds a command line and its batch text. A line is in both files or in
// neither: a failed write cuts both back to their last whole line, and the
// caller runs the line now, never again inside the batch.
bool spoolAdd(Spool &spool, const char *text, const char *line);
// Text for the tool alone (a table header, the commit).
bool spoolText(Spool &spool, const char *text);
// Rewinds the text file for the tool to read.
void spoolRewind(Spool &spool);
// Calls `each` with every command line, in order, and its index from 0.
void spoolReplay(Spool &spool, void (*each)(const char *line, int index, void *context), void *context);
// Copies the text to standard output.
void spoolPrint(Spool &spool);
void spoolClose(Spool &spool);

// A scratch file held in memory, for a tool's error output.
int scratchFile();
// Where the kernel has no memory files a scratch file is kScratchPath,
// unlinked as soon as it is open. A run that holds the run guard removes what
// a killed run left there.
inline constexpr char kScratchPath[] = "/var/run/vx_qos.tmp";
void removeScratchLeftover();
// Copies the scratch file to standard error, leaving out tc's "Command failed
// -:N" lines (the batch numbering means nothing to the reader of the echo).
void forwardErrors(int fd);

// Calls `each` with every line of the file from its start, without its
// newline (a line is cut at kSpoolLineMax characters).
inline constexpr size_t kSpoolLineMax = 1024;
void forEachLine(int fd, void (*each)(const char *line, int index, void *context), void *context);
