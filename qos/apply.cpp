#include "apply.h"

#include "batch.h"
#include "refused.h"
#include "spool.h"
#include "state.h"
#include "qos_seams.h"

#include "command.h"
#include "process.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int g_level = 0;
char g_cmd[1025];
ApplyMode g_mode = ApplyMode::RunNow;
bool g_dryRun = false;
// The reset's tc lines, the other tc lines and the mangle commit.
Spool g_quietTc;
Spool g_tc;
Spool g_mangle;
Spool g_mangle6;
Ipv6Mode g_ipv6 = Ipv6Mode::Off;
// The batched lines that carry a note or a fallback, in the order issued. A
// full table has the tc batches applied before the next line; the mangle
// commits wait, to go in whole.
struct Tag {
  const Spool *spool;
  int index;
  RefusalNote note;
  char fallback[112]; // empty for none
};
constexpr int kTags = 64;
Tag g_tags[kTags];
int g_tagCount = 0;
RefusalNote g_note = nullptr;

// The watched line: armed until the next line is issued, then its outcome,
// or where it waits in a batch.
struct Watch {
  bool armed = false;
  const Spool *spool = nullptr;
  int index = -1;
  bool ok = false;
};
Watch g_watch;

// The outcome of line `index` of a spool that has run (-1: of all its lines).
void settle(const Spool *spool, int index, bool ok)
{
  if (spool == g_watch.spool && (index < 0 || index == g_watch.index))
    g_watch.ok = ok;
}

// Not the shell: no word of a batch is ever read by a shell.
int spawnTool(const char *const argv[], int in, int out, int err)
{
  SpawnResult result = spawn_and_wait({nullptr, argv, {in, out, err}});
  if (result.ran == Ran::NotStarted)
    return -1;
  if (result.ran == Ran::Unknown) {
    // It ran: what it did stands and is not done a second time.
    printf("%s%s ran but its exit status is lost; taken as success\n", kVxTag, argv[0]);
    return 0;
  }
  if (!WIFEXITED(result.status))
    return 128 + WTERMSIG(result.status);
  return WEXITSTATUS(result.status);
}

ToolRunner g_runner = spawnTool;

bool onPath(const char *tool)
{
  const char *path = getenv("PATH");
  if (path == nullptr)
    return false;
  while (*path != '\0') {
    size_t len = strcspn(path, ":");
    char file[256];
    if (len > 0 && snprintf(file, sizeof file, "%.*s/%s", static_cast<int>(len), path, tool) < static_cast<int>(sizeof file) &&
        access(file, X_OK) == 0)
      return true;
    path += len;
    if (*path == ':')
      ++path;
  }
  return false;
}

int devNull()
{
  static int fd = -1;
  if (fd < 0)
    fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  return fd;
}

Tag *tagOf(const Spool *spool, int index)
{
  for (Tag *t = g_tags; t < g_tags + g_tagCount; ++t) {
    if (t->spool == spool && t->index == index)
      return t;
  }
  return nullptr;
}

void runOne(const char *line, int index, void *context);

// A batched line known to be refused: its note, then its fallback, alone.
void refused(const Spool *spool, int index, const char *line)
{
  const Tag *t = tagOf(spool, index);
  if (t == nullptr)
    return;
  if (t->note != nullptr)
    t->note(line);
  if (t->fallback[0] != '\0') {
    // Counted in no spool: the table's address stands for none (only ever compared).
    runOne(t->fallback, -1, g_tags);
  }
}

void runOne(const char *line, int index, void *context)
{
  const Spool *spool = static_cast<const Spool *>(context);
  const bool ok = run_command(line) == 0;
  settle(spool, index, ok);
  if (!ok)
    refused(spool, index, line);
}

// Once a tool is missing the rest of the run goes one command at a time,
// which is said once.
void batchOff(const char *tool, const char *why)
{
  if (g_mode == ApplyMode::Batch)
    printf("%sbatch mode off: %s %s; running commands one at a time\n", kVxTag, tool, why);
  g_mode = ApplyMode::RunNow;
}

void replay(Spool &spool)
{
  spoolReplay(spool, runOne, &spool);
}

void printBatch(Spool &spool, const char *tool)
{
  printf("%sbatch for %s:\n", kVxTag, tool);
  spoolPrint(spool);
}

// tc -force goes on past a command the kernel refuses (exit 1) but stops at a
// line it cannot parse (exit 255), without naming it: then the whole batch is
// run again one line at a time. What was applied before the stop is only
// added again, which the kernel refuses, so the result is that of the
// one-at-a-time mode.
void runTc(Spool &spool, bool quiet)
{
  if (spool.count == 0)
    return;
  if (g_dryRun) {
    printBatch(spool, quiet ? "tc -force -batch - (output discarded)" : "tc -force -batch -");
    spoolClose(spool);
    return;
  }
  spoolRewind(spool);
  const char *argv[] = {"tc", "-force", "-batch", "-", nullptr};
  int errors = quiet ? devNull() : scratchFile();
  int rc = g_runner(argv, spool.text, quiet ? devNull() : -1, errors);
  settle(&spool, -1, rc == 0);
  if (!quiet) {
    forwardErrors(errors);
    // tc -force names each command the kernel refused, by number alone:
    // "Command failed -:N".
    if (rc == 1)
      forEachLine(
          errors,
          [](const char *text, int, void *) {
            if (strncmp(text, "Command failed -:", 17) == 0)
              refused(&g_tc, atoi(text + 17) - 1, nullptr);
          },
          nullptr);
    if (errors >= 0)
      close(errors);
  }
  if (rc == -1) {
    batchOff("tc", "could not be started");
    replay(spool);
  } else if (rc != 0 && rc != 1) {
    printf("%stc stopped in its batch (exit %d): its %d commands run one at a time\n", kVxTag, rc, spool.count);
    replay(spool);
  }
  spoolClose(spool);
}

// Runs the dropped lines of a commit alone, as one at a time would (without
// the shell, which starts the same tool with the same words): the error
// output is that of one-at-a-time mode. One that goes in alone stands later
// in its chain than it would have.
struct DroppedRun {
  const Spool *spool;
  const Dropped *dropped;
};

void runDropped(Spool &spool, const Dropped &dropped)
{
  DroppedRun run{&spool, &dropped};
  spoolReplay(
      spool,
      [](const char *line, int index, void *context) {
        const DroppedRun &r = *static_cast<const DroppedRun *>(context);
        if (!isDropped(*r.dropped, index))
          return;
        CommandWords w;
        const int quiet = devNull();
        const int rc = commandWords(line, w) ? g_runner(w.argv, -1, w.quiet ? quiet : -1, w.quiet ? quiet : -1)
                                             : run_command(line);
        settle(r.spool, index, rc == 0);
        if (rc == 0)
          printf("%sran alone after its batch, later in its chain: %s\n", kVxTag, line);
        else
          refused(r.spool, index, line);
      },
      &run);
}

// iptables-restore applies the whole commit or nothing of it; each family's
// commit is a transaction of its own. The lines a refusal names are left out
// and the rest is committed again, up to kRetries times; a refusal that names
// no rule falls back to one line at a time.
void runMangle(Spool &spool, const char *tool)
{
  constexpr int kRetries = 8;
  if (spool.count == 0)
    return;
  if (!spoolText(spool, "COMMIT")) {
    replay(spool);
    spoolClose(spool);
    return;
  }
  const char *argv[] = {tool, "--noflush", nullptr};
  if (g_dryRun) {
    printf("%sbatch for %s --noflush:\n", kVxTag, tool);
    spoolPrint(spool);
    spoolClose(spool);
    return;
  }
  Dropped dropped;
  for (int round = 0;; ++round) {
    spoolRewind(spool);
    int errors = scratchFile();
    int rc = g_runner(argv, spool.text, -1, errors);
    bool retry = false;
    if (rc == 0) {
      forwardErrors(errors);
      settle(&spool, -1, !isDropped(dropped, g_watch.index));
    } else if (rc == -1) {
      batchOff(tool, "could not be started");
      replay(spool);
    } else {
      retry = round < kRetries && dropRefused(errors, spool, dropped);
    }
    if (errors >= 0)
      close(errors);
    if (retry)
      continue;
    if (rc > 0) {
      // Nothing of a refused commit is in: every line runs once.
      printf("%s%s refused the batch: its %d commands run one at a time\n", kVxTag, tool, spool.count);
      replay(spool);
    } else if (rc == 0 && dropped.count > 0) {
      printf("%s%s refused %d of its %d commands: the others are in, those run alone\n", kVxTag, tool,
             dropped.count, spool.count);
      runDropped(spool, dropped);
    }
    break;
  }
  spoolClose(spool);
}

int runNow(const char *line)
{
  if (g_dryRun) {
    printf("%s\n", line);
    return 0;
  }
  return run_command(line);
}

// Hands the line to its batch: the spool where it waits, or nullptr for a
// line to run now.
Spool *sinkLine(const char *line)
{
  if (g_mode == ApplyMode::RunNow)
    return nullptr;
  char text[sizeof g_cmd];
  BatchKind kind = batchLine(line, text, sizeof text);
  Spool *spool = nullptr;
  switch (kind) {
  case BatchKind::None:
    break;
  case BatchKind::TcQuiet:
    // A quiet line after loud ones starts afresh, so tc's lines keep their order.
    if (g_tc.count > 0) {
      applyFlush();
      if (g_mode != ApplyMode::Batch)
        return nullptr;
    }
    spool = &g_quietTc;
    break;
  case BatchKind::Tc:
    spool = &g_tc;
    break;
  case BatchKind::Mangle:
  case BatchKind::Mangle6:
    spool = kind == BatchKind::Mangle ? &g_mangle : &g_mangle6;
    if (spool->count == 0 && spool->text < 0 && !spoolText(*spool, "*mangle"))
      spool = nullptr;
    break;
  }
  if (spool != nullptr && spoolAdd(*spool, text, line))
    return spool;
  // Not carried by a batch: its effect comes after everything before it.
  applyFlush();
  return nullptr;
}

void checkBatchTools()
{
  for (const char *tool : {"tc", "iptables-restore"}) {
    if (!onPath(tool)) {
      batchOff(tool, "not found");
      return;
    }
  }
  if (g_dryRun)
    return;
  // Small builds of tc lack -batch (or -force): an empty batch tells.
  const char *probe[] = {"tc", "-force", "-batch", "-", nullptr};
  int rc = g_runner(probe, devNull(), devNull(), devNull());
  if (rc == -1)
    batchOff("tc", "could not be started");
  else if (rc != 0)
    batchOff("tc", "has no -batch");
}

// A full tag table: the tc batches are applied (tc lines stand alone), and
// only what tags the mangle commits stays, so that each commit still goes in
// whole; only a table full of those has everything applied.
void makeRoomForTags()
{
  runTc(g_quietTc, true);
  runTc(g_tc, false);
  if (g_watch.spool == &g_tc || g_watch.spool == &g_quietTc)
    g_watch.spool = nullptr;
  int kept = 0;
  for (int i = 0; i < g_tagCount; ++i) {
    if (g_tags[i].spool != &g_tc && g_tags[i].spool != &g_quietTc)
      g_tags[kept++] = g_tags[i];
  }
  g_tagCount = kept;
  if (g_tagCount == kTags)
    applyFlush();
}

} // namespace

void applyStart(ApplyMode mode, bool dryRun, Ipv6Mode ipv6)
{
  g_mode = mode;
  g_dryRun = dryRun;
  g_watch = Watch{};
  if (mode == ApplyMode::Batch)
    checkBatchTools();
  g_ipv6 = ipv6;
  const char *tool = g_mode == ApplyMode::Batch ? "ip6tables-restore" : "ip6tables";
  if (ipv6 != Ipv6Mode::Off && !onPath(tool)) {
    printf("%sIPv6 mode off: %s not found\n", kVxTag, tool);
    g_ipv6 = Ipv6Mode::Off;
  }
}

Ipv6Mode ipv6Mode()
{
  return g_ipv6;
}

void setCmdLevel(int level)
{
  g_level = level;
}

int cmdLevel()
{
  return g_level;
}

int vx_doCmd(const char *fmt, ...)
{
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(g_cmd, sizeof g_cmd, fmt, ap);
  va_end(ap);
  return vx_doCmdOr(nullptr, g_cmd);
}

// A line run now that is refused is noted, and has its fallback run in its
// place; a batched one keeps its note and fallback for when its batch has run.
int vx_doCmdOr(const char *fallback, const char *line)
{
  if (g_level > 0)
    printf("%s\n", line);
  if (g_tagCount == kTags)
    makeRoomForTags();
  Spool *spooled = sinkLine(line);
  const int rc = spooled != nullptr ? 0 : runNow(line);
  if (g_watch.armed)
    g_watch = Watch{false, spooled, spooled != nullptr ? spooled->count - 1 : -1, spooled == nullptr && rc == 0};
  if (spooled != nullptr) {
    if (g_note != nullptr || fallback != nullptr) {
      Tag &t = g_tags[g_tagCount++];
      t.spool = spooled;
      t.index = spooled->count - 1;
      t.note = g_note;
      t.fallback[0] = '\0';
      if (fallback != nullptr)
        snprintf(t.fallback, sizeof t.fallback, "%s", fallback);
    }
  } else if (rc != 0) { // never in a dry run, which runs nothing
    if (g_note != nullptr)
      g_note(line);
    if (fallback != nullptr)
      vx_doCmdOr(nullptr, fallback);
  }
  return rc;
}

void noteRefusals(RefusalNote note)
{
  g_note = note;
}

void watchNextLine()
{
  g_watch = Watch{true};
}

bool watchedLineOk()
{
  return g_watch.ok;
}

void applyFlush()
{
  if (g_mode != ApplyMode::Batch)
    return;
  runTc(g_quietTc, true);
  runTc(g_tc, false);
  for (bool ipv6 : {false, true})
    runMangle(ipv6 ? g_mangle6 : g_mangle, ipv6 ? "ip6tables-restore" : "iptables-restore");
  // The spools start afresh: their indexes name other lines from now on.
  g_watch.spool = nullptr;
  g_tagCount = 0;
}

void setToolRunner(ToolRunner runner)
{
  g_runner = runner != nullptr ? runner : spawnTool;
}
