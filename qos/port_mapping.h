// Port-mapping files: written by the router's UPnP and ALG components for the
// LAN hosts that use a service, one "protocol,host,port" line per mapping.
// This program only reads them.
#pragma once

#include "pieces.h"

#include <cstddef>
#include <cstdint>

// Lines are read in pieces of at most this many characters; a longer line
// becomes several pieces, each handled as a line of its own.
inline constexpr size_t kPieceMax = 30;
// At most this many lines (pieces) are taken from a file; the rest is left
// out, so that one file cannot make a run issue commands without end.
inline constexpr int kPortFileLines = 256;

struct PortFileReader {
  int fd = -1;
  PieceReader pieces{-1};
  int taken = 0;
  bool cut = false; // the file holds text after the lines taken
};

// Opens the file when it is a regular file: a FIFO, a device or a directory
// in its place counts as a missing file (and never blocks the run).
bool portFileOpen(PortFileReader &reader, const char *path);
// The next piece: up to kPieceMax characters, ending early after a newline.
// False at the end of the file, on a piece that holds no text, and after
// kPortFileLines pieces (`cut` then tells whether text was left out).
bool portFileNext(PortFileReader &reader, char (&piece)[kPieceMax + 1]);
void portFileClose(PortFileReader &reader);

// One piece split into its fields. A field the piece lacks is empty; the
// port has no trailing newline.
struct PortLine {
  char proto[8];
  char second[20];
  char port[8];
  bool usable; // a plain protocol and a decimal port or port range, uncut
};

void splitPortLine(const char *piece, PortLine &line);

// The text of a file as the build saw it: its pieces cut at the first newline
// and joined. `text` keeps the first 511 characters; length and hash cover
// every piece read, so a change beyond what is kept is still seen.
struct ServiceSnapshot {
  char text[512];
  size_t length;
  uint32_t hash;
};

void snapshotClear(ServiceSnapshot &snap);
void snapshotAppend(ServiceSnapshot &snap, const char *piece);
bool snapshotSame(const ServiceSnapshot &a, const ServiceSnapshot &b);
