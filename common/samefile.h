// Whether two stat results describe one file. Header-only: the store library
// shares it without linking the programs' common code.
#pragma once

#include <sys/stat.h>

// The same inode on the same device.
inline bool same_inode(const struct stat &a, const struct stat &b)
{
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The same inode, and unchanged between the two: the same size, modification
// and change time.
inline bool same_version(const struct stat &a, const struct stat &b)
{
  auto same_time = [](const timespec &x, const timespec &y) { return x.tv_sec == y.tv_sec && x.tv_nsec == y.tv_nsec; };
  return same_inode(a, b) && a.st_size == b.st_size && same_time(a.st_mtim, b.st_mtim) &&
         same_time(a.st_ctim, b.st_ctim);
}
