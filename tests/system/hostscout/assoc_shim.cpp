// Test double for the wireless driver's association table, preloaded into
// hostscout (LD_PRELOAD). The table request on "ra0" is answered from the
// text file named by ASSOC_TABLE: the entry count the driver reports on the
// first line, then one MAC per line (12 hex digits). Each answered request
// appends a line to the file named by ASSOC_LOG. Every other ioctl, and the
// table request when ASSOC_TABLE names no file, goes to the C library.
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

namespace {

constexpr unsigned long kGetMacTable = 0x8BEF;
constexpr size_t kTableSize = 1412;

using IoctlFn = int (*)(int, unsigned long, ...);

int hex(char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return 0;
}

bool fill_table(unsigned char *table)
{
  const char *path = getenv("ASSOC_TABLE");
  FILE *f = path != nullptr ? fopen(path, "r") : nullptr;
  if (f == nullptr)
    return false;
  char line[64];
  int32_t count = 0;
  if (fgets(line, sizeof line, f) != nullptr)
    count = static_cast<int32_t>(strtol(line, nullptr, 10));
  memcpy(table, &count, sizeof count);
  for (size_t i = 0; i < 32 && fgets(line, sizeof line, f) != nullptr; ++i) {
    unsigned char *entry = table + 4 + 44 * i;
    entry[0] = 0xa5; // the driver's own field before the address
    for (size_t b = 0; b < 6; ++b)
      entry[1 + b] = static_cast<unsigned char>(hex(line[2 * b]) * 16 + hex(line[2 * b + 1]));
  }
  fclose(f);
  if (const char *log = getenv("ASSOC_LOG")) {
    if (FILE *l = fopen(log, "a")) {
      fputs("table request\n", l);
      fclose(l);
    }
  }
  return true;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...)
{
  va_list ap;
  va_start(ap, request);
  void *arg = va_arg(ap, void *);
  va_end(ap);
  if (request == kGetMacTable && arg != nullptr && strncmp(static_cast<const char *>(arg), "ra0", 16) == 0) {
    // struct iwreq: the 16-byte interface name, then the data pointer.
    void *data;
    memcpy(&data, static_cast<char *>(arg) + 16, sizeof data);
    if (data != nullptr && fill_table(static_cast<unsigned char *>(data)))
      return 0;
  }
  static IoctlFn next = reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, "ioctl"));
  if (next == nullptr) {
    errno = ENOSYS;
    return -1;
  }
  return next(fd, request, arg);
}
