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

// The words of a line batchLine carries, as the shell splits them, without a
// trailing " 1>/dev/null 2>&1" (quiet then set): the argument vector that
// runs the line without a shell. False for a line batchLine does not carry
// as a whole.
struct CommandWords {
  static constexpr int kMaxWords = 64;
  char buf[1025];
  const char *argv[kMaxWords + 1];
  int count;
  bool quiet;
};
bool commandWords(const char *line, CommandWords &words);
