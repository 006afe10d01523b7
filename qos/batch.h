// The batch text of a command line: what its batch tool reads for it.
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
