// The batch text of a command line, and the spools that hold a batch until
// its tool runs.
#pragma once

#include <cstddef>

enum class BatchKind {
  None,      // not a plain tc or mangle-table iptables line: runs through the shell
  TcQuiet,   // a tc line whose output the shell discards
  Tc,        // any other tc line
  Mangle,    // an iptables line of the mangle table
  Mangle6,   // the same for ip6tables
};

// Translates a command line into the line its batch tool reads: without the
// tool's name, without `-t mangle` and without a trailing " 1>/dev/null 2>&1",
// words separated by single blanks. A line is carried only when its words are
// made of letters, digits and ".:/,_=+@%-": then the shell and the batch
// tools split it into the same words, and nothing in it is quoted, expanded,
// redirected or read as a comment. Anything else gives None.
BatchKind batchLine(const char *line, char *out, size_t size);

// A batch under construction: its text (what the tool reads) and the command
// lines it came from (replayed one at a time when the tool fails), each in a
// file held in memory, or unlinked under /var/run where that is not possible.
struct Spool {
  int text = -1;
  int lines = -1;
  int count = 0;
};

bool spoolAdd(Spool &spool, const char *text, const char *line);
// Text for the tool alone (a table header, the commit).
bool spoolText(Spool &spool, const char *text);
// Rewinds the text file for the tool to read.
void spoolRewind(Spool &spool);
// Calls `each` with every command line, in order.
void spoolReplay(Spool &spool, void (*each)(const char *line));
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
