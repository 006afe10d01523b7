#include <gtest/gtest.h>

#include "pidfile.h"
#include "shellquote.h"
#include "smallfile.h"
#include "tempdir.h"
#include "textnum.h"

#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(ShellQuote, EveryValueBecomesOneLiteralWord)
{
  struct Case {
    const char *in;
    const char *out;
  } cases[] = {
      {"", "''"},
      {"plain", "'plain'"},
      {"a b", "'a b'"},
      {"it's", "'it'\\''s'"},
      {"$(reboot);`x` \"q\"", "'$(reboot);`x` \"q\"'"},
  };
  for (const Case &c : cases) {
    char buf[64];
    ASSERT_TRUE(shell_quote(buf, sizeof buf, c.in)) << c.in;
    EXPECT_STREQ(buf, c.out);
  }
}

TEST(ShellQuote, RefusesWhatDoesNotFitInsteadOfCutting)
{
  char buf[6];
  EXPECT_TRUE(shell_quote(buf, sizeof buf, "abc"));
  EXPECT_FALSE(shell_quote(buf, sizeof buf, "abcd"));
  EXPECT_STREQ(buf, "");
  EXPECT_FALSE(shell_quote(buf, sizeof buf, "a'"));
}

TEST(TextNumbers, ReadsLikeAtoiWithoutOverflow)
{
  EXPECT_EQ(text_to_int("42"), 42);
  EXPECT_EQ(text_to_int(" 7x"), 7);
  EXPECT_EQ(text_to_int("x7"), 0);
  EXPECT_EQ(text_to_int(""), 0);
  EXPECT_EQ(text_to_int(nullptr), 0);
  EXPECT_EQ(text_to_int("99999999999999999999"), INT_MAX);
  EXPECT_EQ(text_to_int("-99999999999999999999"), INT_MIN);
  unsigned long v = 0;
  EXPECT_TRUE(parse_decimal("65535", 65535, &v));
  EXPECT_EQ(v, 65535UL);
  EXPECT_FALSE(parse_decimal("65536", 65535, &v));
  EXPECT_FALSE(parse_decimal("", 65535, &v));
  EXPECT_FALSE(parse_decimal("80;", 65535, &v));
  EXPECT_FALSE(parse_decimal("-1", 65535, &v));
  EXPECT_FALSE(parse_decimal("99999999999999999999999", 65535, &v));
}

class PidFiles : public ::testing::Test {
protected:
  TempDir dir;
  std::string path = dir.file("prog.pid");
  void put(const char *text) { dir.write("prog.pid", text); }
};

TEST_F(PidFiles, ReadsTheLeadingNumberOfTheFirstLine)
{
  put("  123abc\n456\n");
  EXPECT_EQ(pidfile_read(path.c_str()), 123);
  put("abc\n");
  EXPECT_EQ(pidfile_read(path.c_str()), 0);
  put("");
  EXPECT_EQ(pidfile_read(path.c_str()), 0);
  for (const char *too_large : {"4294967298\n", "99999999999\n", "-4294967295\n"}) {
    put(too_large);
    EXPECT_EQ(pidfile_read(path.c_str()), 0) << too_large;
  }
  EXPECT_EQ(pidfile_read(dir.file("none").c_str()), 0);
}

TEST_F(PidFiles, TakeoverSparesAProcessOfAnotherName)
{
  pid_t child = fork();
  if (child == 0) {
    pause();
    _exit(0);
  }
  put((std::to_string(child) + "\n").c_str());
  pidfile_take_over(path.c_str(), "wanwatch");
  usleep(100 * 1000);
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "an unrelated process was signalled";
  char comm[32] = {};
  read_small_file(("/proc/" + std::to_string(child) + "/comm").c_str(), comm, sizeof comm);
  comm[strcspn(comm, "\n")] = '\0';
  pidfile_take_over(path.c_str(), comm);
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}
