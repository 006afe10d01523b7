// A spool whose write fails stays at its last whole line in both its files.
#include "spool.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

TEST(Spool, FailedWriteLeavesTheLastWholeLine)
{
  // Files may grow to 100 bytes: the third command line no longer fits.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 100;
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  Spool spool;
  const std::string text(30, 't'), line(45, 'l');
  bool added[3];
  for (bool &a : added)
    a = spoolAdd(spool, text.c_str(), line.c_str());
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(added[0] && added[1]);
  EXPECT_FALSE(added[2]);
  EXPECT_EQ(spool.count, 2);
  int lines = 0;
  spoolReplay(spool, [](const char *, int, void *n) { ++*static_cast<int *>(n); }, &lines);
  EXPECT_EQ(lines, 2);
  EXPECT_EQ(lseek(spool.text, 0, SEEK_END), 2 * 31);
  spoolClose(spool);
}
