// A mangle commit the tool refused: which of its lines it named, and the
// commit again without them.
#pragma once

#include "spool.h"

// The lines left out of a commit, by index in the spool (from 0).
struct Dropped {
  static constexpr int kMax = 32;
  int index[kMax];
  int count = 0;
};

bool isDropped(const Dropped &dropped, int index);

// Reads the refusal in `errors` (iptables-restore's standard error) and
// leaves the lines it names out of the spool's text: a '#' in place of their
// first character makes each a comment, so every other line keeps its
// number. The lines are named as lines of standard input, `*mangle` being
// line 1: "Error occurred at line: N", "line N: RULE_APPEND failed (...)"
// (every refused rule, in one pass), "line N failed". False, and nothing
// changed, when it names no line, a line that is no rule of the commit (the
// header or COMMIT), or more than fit: the commit then cannot be narrowed
// down.
bool dropRefused(int errors, Spool &spool, Dropped &dropped);
