// Text read the way fgets reads it with a buffer of a given size: each piece
// runs up to and including a newline, or is cut after size - 1 bytes, and a
// longer line comes as several pieces. The same reader walks an open file or a
// text in memory, so a parser fed from memory behaves exactly as on the file.
#pragma once

#include <cstddef>

class PieceReader {
public:
  // Reads from the descriptor (not closed here).
  explicit PieceReader(int fd) : fd_(fd) {}
  // Walks the text in memory.
  PieceReader(const char *text, size_t len) : text_(text), textLen_(len) {}

  // The next piece into out (2 <= size <= 513 bytes: the reader holds 512),
  // NUL-terminated like fgets (a NUL in the text ends it early for string
  // functions). Returns its length in bytes, or 0 at the end of the text.
  size_t next(char *out, size_t size);

private:
  bool fill();

  int fd_ = -1;
  const char *text_ = nullptr;
  size_t textLen_ = 0;
  char buf_[512];
  size_t start_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
};
