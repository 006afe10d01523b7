#include "command.h"
#include "common_seams.h"

#include "process.h"
#include "smallfile.h"

#include <cstdarg>
#include <cstdio>

namespace {

// What system() does, without handing the child the caller's blocked or
// ignored signals.
int run_with_shell(const char *line)
{
  const char *argv[] = {"sh", "-c", line, nullptr};
  return spawn_and_wait({"/bin/sh", argv, {-1, -1, -1}}).status;
}

CommandSink g_sink = run_with_shell;

} // namespace

void set_command_sink(CommandSink sink)
{
  g_sink = sink != nullptr ? sink : run_with_shell;
}

int run_command(const char *line)
{
  fflush(stdout);
  return g_sink(line);
}

int run_command_into(const char *line, const char *output)
{
  // Only the shell opens the path; a recorder has nothing to claim.
  if (g_sink == run_with_shell && !claim_output_file(output))
    return -1;
  return run_command(line);
}

bool format_into(char *buf, size_t size, const char *fmt, ...)
{
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(buf, size, fmt, ap);
  va_end(ap);
  return n >= 0 && static_cast<size_t>(n) < size;
}
