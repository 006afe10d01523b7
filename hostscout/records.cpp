#include "records.h"

#include "command.h"
#include "smallfile.h"
#include "textnum.h"

#include <climits>
#include <cstdio>
#include <cstring>

const char *ReadInfo_NUM(const char *path)
{
  static char value[64];
  memset(value, 0, sizeof value);
  FILE *f = fopen(path, "r");
  if (f == nullptr)
    return "0";
  // A line longer than the buffer comes in pieces; each piece is looked at as
  // a line of its own, as the LLTD component's own reader does.
  char line[64];
  while (fgets(line, sizeof line, f) != nullptr) {
    if (line[0] != '0' || line[1] != '0')
      continue;
    if (strlen(line) > 3)
      snprintf(value, sizeof value, "%s", line + 3);
    size_t len = strlen(value);
    if (len > 0 && value[len - 1] == '\n')
      value[len - 1] = '\0';
    break;
  }
  fclose(f);
  return value;
}

int record_count(const HostMedium &medium)
{
  return text_to_int(ReadInfo_NUM(medium.count_path));
}

int next_record_number(int old)
{
  // A count file holding a number too large for an int reads as INT_MAX; the
  // record then keeps that number rather than wrapping to a negative one.
  return old < INT_MAX ? old + 1 : INT_MAX;
}

bool write_record_line(const char *path, const char *key, const char *value, FileWrite how)
{
  char line[96];
  format_into(line, sizeof line, "%s=%s", key, value);
  size_t len = strlen(line);
  for (size_t i = 0; i < len; ++i) {
    if (line[i] == '\n' || line[i] == '\r')
      line[i] = '?';
  }
  line[len++] = '\n';

  // Created as the shell's redirection would create it.
  return write_small_file(path, line, len, how, 0666);
}

bool write_record_count(const HostMedium &medium, int n)
{
  char value[16];
  format_into(value, sizeof value, "%d", n);
  return write_record_line(medium.count_path, "00", value, FileWrite::Replace);
}

bool write_host_record(const HostMedium &medium, int n, const HostRecord &record)
{
  char path[64];
  if (!format_into(path, sizeof path, "%s%d", medium.record_prefix, n))
    return false;
  bool ok = write_record_line(path, "01", record.mac, FileWrite::Replace);
  ok = write_record_line(path, "03", record.medium, FileWrite::Append) && ok;
  ok = write_record_line(path, "07", record.address, FileWrite::Append) && ok;
  ok = write_record_line(path, "15", record.name, FileWrite::Append) && ok;
  return write_record_line(path, "99", "0", FileWrite::Append) && ok;
}
