// Hides a directory of the build machine from this test process: a private
// mount namespace (entered once, its mounts no longer shared with the
// machine's), then an empty tmpfs over the directory. Needs root; false when
// the directory cannot be hidden, so that a test fails instead of reading the
// machine's own files.
#pragma once

#include <sched.h>
#include <sys/mount.h>

inline bool hide_with_empty_dir(const char *dir)
{
  static const bool isPrivate =
      unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return isPrivate && mount("unit-test", dir, "tmpfs", 0, "mode=0755") == 0;
}
