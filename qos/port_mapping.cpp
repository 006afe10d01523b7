#include "port_mapping.h"

#include "fields.h"

#include "smallfile.h"
#include "validate.h"

#include <cstring>
#include <unistd.h>

bool portFileOpen(PortFileReader &reader, const char *path)
{
  reader = PortFileReader{};
  reader.fd = open_input(path);
  reader.pieces = PieceReader(reader.fd);
  return reader.fd >= 0;
}

bool portFileNext(PortFileReader &reader, char (&piece)[kPieceMax + 1])
{
  // A piece that starts with a NUL byte holds no text: reading stops there.
  bool text = reader.pieces.next(piece, sizeof piece) > 0 && piece[0] != '\0';
  if (reader.taken == kPortFileLines) {
    reader.cut = reader.cut || text;
    return false;
  }
  if (text)
    ++reader.taken;
  return text;
}

void portFileClose(PortFileReader &reader)
{
  if (reader.fd >= 0)
    close(reader.fd);
  reader.fd = -1;
}

namespace {

// Reads field `index` into a cleared buffer. True when it fitted uncut.
template <size_t N> bool readField(const char *piece, int index, char (&out)[N])
{
  char whole[kPieceMax + 1] = {};
  getNthValueSafe(index, piece, ',', whole, sizeof whole);
  size_t len = strcspn(whole, "\n");
  whole[len] = '\0';
  memset(out, 0, N);
  memcpy(out, whole, len < N - 1 ? len : N - 1);
  return len < N;
}

} // namespace

void splitPortLine(const char *piece, PortLine &line)
{
  bool protoWhole = readField(piece, 0, line.proto);
  readField(piece, 1, line.second);
  bool portWhole = readField(piece, 2, line.port);
  // The values go into command lines as they stand: a cut or odd protocol
  // or port would make a different rule, or reach the shell unquoted.
  line.usable = protoWhole && portWhole && is_protocol(line.proto) && is_port_range(line.port);
}

void snapshotClear(ServiceSnapshot &snap)
{
  snap.text[0] = '\0';
  snap.length = 0;
  snap.hash = 0; // so that a snapshot never taken equals an empty text
}

void snapshotAppend(ServiceSnapshot &snap, const char *piece)
{
  size_t len = strcspn(piece, "\n");
  for (size_t i = 0; i < len; ++i) {
    snap.hash = (snap.hash ^ static_cast<unsigned char>(piece[i])) * 16777619u;
    if (snap.length + i < sizeof snap.text - 1)
      snap.text[snap.length + i] = piece[i];
  }
  snap.length += len;
  snap.text[snap.length < sizeof snap.text - 1 ? snap.length : sizeof snap.text - 1] = '\0';
}

bool snapshotSame(const ServiceSnapshot &a, const ServiceSnapshot &b)
{
  return a.length == b.length && a.hash == b.hash && strcmp(a.text, b.text) == 0;
}
