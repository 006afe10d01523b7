#include "records.h"
#include "hostscout_seams.h"

#include "command.h"
#include "pieces.h"
#include "smallfile.h"
#include "textnum.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr char kProgram[] = "hostscout";
// Record and count files are created as the shell's redirection would create them.
constexpr mode_t kRecordMode = 0666;

const char *count_value(PieceReader &reader)
{
  static char value[64];
  memset(value, 0, sizeof value);
  // A line longer than the buffer comes in pieces; each piece is looked at as
  // a line of its own, as the LLTD component's own reader does.
  char line[64];
  while (reader.next(line, sizeof line) > 0) {
    if (line[0] != '0' || line[1] != '0')
      continue;
    if (strlen(line) > 3)
      snprintf(value, sizeof value, "%s", line + 3);
    size_t len = strlen(value);
    if (len > 0 && value[len - 1] == '\n')
      value[len - 1] = '\0';
    break;
  }
  return value;
}

// Adds "key=value\n" to the text; a CR or LF in the value is written as '?',
// so a value is always exactly one line.
void add_line(char *text, size_t size, size_t *len, const char *key, const char *value)
{
  char line[96];
  format_into(line, sizeof line, "%s=%s", key, value);
  size_t n = strlen(line);
  for (size_t i = 0; i < n; ++i) {
    if (line[i] == '\n' || line[i] == '\r')
      line[i] = '?';
  }
  if (*len + n + 1 >= size)
    return;
  memcpy(text + *len, line, n);
  *len += n;
  text[(*len)++] = '\n';
  text[*len] = '\0';
}

} // namespace

const char *count_value_in(const char *text, size_t len)
{
  PieceReader reader(text, len);
  return count_value(reader);
}

const char *ReadInfo_NUM(const char *path)
{
  int fd = open_input(path);
  if (fd < 0)
    return "0";
  PieceReader reader(fd);
  const char *value = count_value(reader);
  close(fd);
  return value;
}

int record_count(const HostMedium &medium)
{
  int n = text_to_int(ReadInfo_NUM(medium.count_path));
  // "00=-5" would number the next record -4.
  return n < 0 ? 0 : n;
}

int next_record_number(int old)
{
  // A count file holding a number too large for an int reads as INT_MAX; the
  // record then keeps that number rather than wrapping to a negative one.
  return old < INT_MAX ? old + 1 : INT_MAX;
}

bool write_record_count(const HostMedium &medium, int n)
{
  char text[32];
  size_t len = 0;
  char value[16];
  format_into(value, sizeof value, "%d", n);
  add_line(text, sizeof text, &len, "00", value);
  return replace_file_or_report(kProgram, medium.count_path, text, len, kRecordMode);
}

bool write_host_record(const HostMedium &medium, int n, const HostRecord &record)
{
  char path[64];
  if (!format_into(path, sizeof path, "%s%d", medium.record_prefix, n))
    return false;
  // Five lines of at most 96 bytes each.
  char text[5 * 96 + 1];
  size_t len = 0;
  add_line(text, sizeof text, &len, "01", record.mac);
  add_line(text, sizeof text, &len, "03", record.medium);
  add_line(text, sizeof text, &len, "07", record.address);
  add_line(text, sizeof text, &len, "15", record.name);
  add_line(text, sizeof text, &len, "99", "0");
  return replace_file_or_report(kProgram, path, text, len, kRecordMode);
}

bool add_host_record(const HostMedium &medium, int n, const HostRecord &record)
{
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &before);
  const bool ok = write_record_count(medium, n) && write_host_record(medium, n, record);
  sigprocmask(SIG_SETMASK, &before, nullptr);
  return ok;
}
