// The one way the build's command lines take effect. Every builder hands its
// lines to vx_doCmd; the sink chosen once per run decides what happens to them:
//  - run now: each line through the shell as it comes (the default);
//  - batch: tc lines into `tc -force -batch`, mangle-table iptables lines into
//    one `iptables-restore --noflush` commit, applied at applyFlush; any other
//    line runs now, after what was batched before it;
//  - print only (a dry run): the lines, or in batch mode the batch texts, are
//    printed and nothing runs.
#pragma once

#include "ipv6.h"

#include <cstddef>

enum class ApplyMode { RunNow, Batch };

// Chooses the sink for the rest of the run. Batch mode checks its tools first
// (except in a dry run, which starts nothing) and falls back to running each
// line now, saying so in one line, when one is missing or tc cannot batch.
// The IPv6 mode needs ip6tables (ip6tables-restore in batch mode); without
// it the run says so in one line and sets up IPv4 alone.
void applyStart(ApplyMode mode, bool dryRun, Ipv6Mode ipv6 = Ipv6Mode::Off);
Ipv6Mode ipv6Mode();

// Above 0, every command is echoed on standard output as it is issued.
void setCmdLevel(int level);
int cmdLevel();

// Formats one command (cut at 1024 characters), echoes it when the command
// level is above 0 and hands it to the sink. In run-now mode it returns the
// shell's status; a batched line returns 0.
int vx_doCmd(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Issues `line` (as vx_doCmd issues its text), a tc line the kernel may
// refuse, `fallback` the line to issue in its place. Run now, a refused line
// is followed by its fallback at once; batched, each refused line's fallback
// runs alone after the batch.
int vx_doCmdOr(const char *fallback, const char *line);

// Refusals go back to the code that issued the line: each line issued while
// a note is set carries it, and once the line is known to be refused (in
// batch mode, once its batch has run) the note is called with it. nullptr
// stops it. A line without a note is refused without a word of this
// program's (the tool's own error output stands).
using RefusalNote = void (*)(const char *line);
void noteRefusals(RefusalNote note);

// Watches the next line issued: once it has run (in batch mode, once its
// batch is applied), watchedLineOk tells whether it took effect. A line run
// one at a time after its batch counts by its own status; a line in a tc
// batch, by the whole batch's.
void watchNextLine();
bool watchedLineOk();

// Applies (or, in a dry run, prints) what is batched: the reset's tc lines,
// then the other tc lines, then the mangle commit, then the IPv6 one (a
// transaction of its own). Nothing in run-now mode.
void applyFlush();

