#include "pieces.h"

#include "smallfile.h"

#include <cstring>

bool PieceReader::fill()
{
  if (eof_ || fd_ < 0)
    return false;
  if (start_ > 0) {
    memmove(buf_, buf_ + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  size_t n = read_fully(fd_, buf_ + end_, sizeof buf_ - end_);
  if (n == 0)
    eof_ = true;
  end_ += n;
  return n > 0;
}

size_t PieceReader::next(char *out, size_t size)
{
  if (out == nullptr || size < 2)
    return 0;
  size_t want = size - 1;
  if (want > sizeof buf_)
    want = sizeof buf_;
  const char *data;
  size_t avail;
  // fill() moves the unread text to the front of the buffer even when it
  // reads nothing more, so data and avail are taken again after every fill.
  bool more = true;
  for (;;) {
    if (text_ != nullptr) {
      data = text_ + start_;
      avail = textLen_ - start_;
    } else {
      data = buf_ + start_;
      avail = end_ - start_;
    }
    if (avail >= want || memchr(data, '\n', avail) != nullptr || text_ != nullptr || !more)
      break;
    more = fill();
  }
  const void *nl = memchr(data, '\n', avail < want ? avail : want);
  size_t len = nl != nullptr ? static_cast<size_t>(static_cast<const char *>(nl) - data) + 1
                             : (avail < want ? avail : want);
  memcpy(out, data, len);
  out[len] = '\0';
  start_ += len;
  return len;
}
