// A spool whose write fails stays at its last whole line in both its files;
// the lines a refused commit names are left out of it.
#include "refused.h"
#include "spool.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>
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

// The ways iptables-restore names refused lines (line 1 is *mangle; its parse
// error, "Error occurred at line: N", is met on the kernel in the system tests);
// a line that is no rule, or no line at all, cannot narrow the commit down.
TEST(Spool, RefusedLinesBecomeComments)
{
  struct Case {
    const char *errors;
    std::vector<int> dropped; // empty: not narrowed down
    const char *text;
  } cases[] = {
      {"iptables-restore: line 2: RULE_APPEND failed (No such file or directory): rule in chain X\n"
       "iptables-restore: line 4: RULE_APPEND failed (No such file or directory): rule in chain X\n",
       {0, 2}, "*mangle\n#A a\n-A b\n#A c\nCOMMIT\n"},
      {"iptables-restore: line 4 failed: No chain/target/match by that name.\n", {2}, "*mangle\n-A a\n-A b\n#A c\nCOMMIT\n"},
      {"iptables-restore: line 5 failed\n", {}, "*mangle\n-A a\n-A b\n-A c\nCOMMIT\n"},
      {"iptables-restore: no line named\n", {}, "*mangle\n-A a\n-A b\n-A c\nCOMMIT\n"},
  };
  for (const Case &c : cases) {
    Spool spool;
    spoolText(spool, "*mangle");
    for (const char *rule : {"-A a", "-A b", "-A c"})
      spoolAdd(spool, rule, rule);
    spoolText(spool, "COMMIT");
    int errors = scratchFile();
    ASSERT_EQ(write(errors, c.errors, strlen(c.errors)), static_cast<ssize_t>(strlen(c.errors)));
    Dropped dropped;
    EXPECT_EQ(dropRefused(errors, spool, dropped), !c.dropped.empty()) << c.errors;
    EXPECT_EQ(std::vector<int>(dropped.index, dropped.index + dropped.count), c.dropped) << c.errors;
    char text[64] = {};
    EXPECT_GT(pread(spool.text, text, sizeof text - 1, 0), 0);
    EXPECT_STREQ(text, c.text);
    close(errors);
    spoolClose(spool);
  }
}
