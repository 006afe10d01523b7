// A mangle commit the tool refused: which of its lines it named, and the
// commit again without them.
#pragma once

#include "spool.h"

// The lines left out of a commit, by index in the spool (from 0), ascending.
struct Dropped {
  static constexpr int kMax = 32;
  int index[kMax];
  int count = 0;
};

bool isDropped(const Dropped &dropped, int index);

// Reads the refusal in `errors` (iptables-restore's standard error for a
// commit of the spool's lines less those dropped already) and adds the lines
// it names. It names them as lines of its standard input, `*mangle` being
// line 1: "Error occurred at line: N", "line N: RULE_APPEND failed (...)"
// (every refused rule, in one pass), "line N failed". False when it names no
// line, or a line that is no rule of the commit (the header or COMMIT), or
// more than fit: the commit then cannot be narrowed down.
bool dropRefused(int errors, const Spool &spool, Dropped &dropped);

// A scratch file with the spool's text less the dropped lines, rewound for
// the tool; -1 when it cannot be written.
int textWithout(const Spool &spool, const Dropped &dropped);
