// A port-mapping file, as the UPnP and ALG components write it on behalf of
// LAN hosts: read in pieces, each piece split into its fields, and the service
// port chain built from it through the real code with its commands recorded
// and checked. The first byte chooses the service, the direction and the
// apply mode.
#include "check.h"
#include "qos_run.h"

#include "port_mapping.h"
#include "service_chains.h"
#include "validate.h"

#include "fake_nvram.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

char g_dir[64];

void remove_files()
{
  for (const Service &s : kServices) {
    std::string path = std::string(g_dir) + "/" + s.name;
    unlink(path.c_str());
  }
}

void remove_dir()
{
  remove_files();
  rmdir(g_dir);
}

// The service's file holds the input; no other service has one.
std::string write_file(const Service &s, const uint8_t *data, size_t size)
{
  remove_files();
  std::string path = std::string(g_dir) + "/" + s.name;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  FUZZ_CHECK(fd >= 0);
  FUZZ_CHECK(write(fd, data, size) == static_cast<ssize_t>(size));
  close(fd);
  return path;
}

void check_line(const char *piece)
{
  PortLine line;
  memset(&line, 'x', sizeof line);
  splitPortLine(piece, line);
  FUZZ_CHECK(fits(line.proto, sizeof line.proto));
  FUZZ_CHECK(fits(line.second, sizeof line.second));
  FUZZ_CHECK(fits(line.port, sizeof line.port));
  if (!line.usable)
    return;
  FUZZ_CHECK_TEXT(is_protocol(line.proto), piece);
  FUZZ_CHECK_TEXT(is_port_range(line.port), piece);
}

// The pieces: at most kPieceMax characters, ending after a newline or at the
// end; together they are the file up to its first piece that starts with a NUL.
void check_pieces(const std::string &path, const uint8_t *data, size_t size)
{
  PortFileReader reader;
  FUZZ_CHECK(portFileOpen(reader, path.c_str()));
  char piece[kPieceMax + 1];
  size_t at = 0;
  while (portFileNext(reader, piece)) {
    size_t len = strlen(piece);
    FUZZ_CHECK(len >= 1 && len <= kPieceMax);
    FUZZ_CHECK(at + len <= size && memcmp(piece, data + at, len) == 0);
    FUZZ_CHECK(strchr(piece, '\n') == nullptr || strchr(piece, '\n') == piece + len - 1);
    check_line(piece);
    // A piece cut at a NUL byte: the reader went on past the NUL up to the
    // piece's end; find where the next one starts.
    size_t taken = 0;
    while (taken < kPieceMax && at + taken < size) {
      char c = static_cast<char>(data[at + taken++]);
      if (c == '\n')
        break;
    }
    at += taken;
  }
  portFileClose(reader);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  qos_run_init();
  snprintf(g_dir, sizeof g_dir, "/dev/shm/fuzz-port-mapping-XXXXXX");
  if (mkdtemp(g_dir) == nullptr)
    abort();
  atexit(remove_dir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 1 || size > 4096)
    return 0;
  const Service &s = kServices[data[0] % kServiceCount];
  int direction = (data[0] / kServiceCount) % 2;
  std::string path = write_file(s, data + 1, size - 1);
  check_pieces(path, data + 1, size - 1);

  qos_run_start(data[0] / (2 * kServiceCount) % 2 == 0 ? ApplyMode::RunNow : ApplyMode::Batch, false);
  ServiceSnapshot seen;
  FUZZ_CHECK(doServiceChain(g_dir, s.name, direction, s.mark, seen) == 0);

  // The same file once more on a change, with both directions enabled, and
  // the end-of-build check against an empty build.
  char key[16];
  snprintf(key, sizeof key, "QoSAppRules%d", s.type);
  fake_nvram_clear();
  fake_nvram_set(key, "0,1,1,1,100,1,1,100");
  doChangeServiceChain(g_dir, s.type);
  ServiceSnapshots built{};
  for (ServiceSnapshot &snap : built.of)
    snapshotClear(snap);
  doCheckService(g_dir, built);
  qos_run_finish();
  return 0;
}
