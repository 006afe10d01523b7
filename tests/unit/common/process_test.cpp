#include <gtest/gtest.h>

#include "process.h"
#include "tempdir.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

SpawnResult run(std::initializer_list<const char *> words, int in = -1, int out = -1)
{
  const char *argv[8] = {};
  size_t n = 0;
  for (const char *w : words)
    argv[n++] = w;
  return spawn_and_wait({nullptr, argv, {in, out, -1}});
}

} // namespace

TEST(Spawn, ACommandThatCannotStartIsNotOneThatExitedWith127)
{
  SpawnResult missing = run({"no-such-tool-anywhere"});
  EXPECT_EQ(missing.ran, Ran::NotStarted);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(missing.status, 127 << 8);
  SpawnResult exited = run({"sh", "-c", "exit 127"});
  EXPECT_EQ(exited.ran, Ran::Ended);
  EXPECT_EQ(exited.status, 127 << 8);

  // Inherited as ignored, SIGCHLD lets the kernel reap the child: it ran all
  // the same.
  struct sigaction ignore = {}, old = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGCHLD, &ignore, &old);
  SpawnResult reaped = run({"true"});
  sigaction(SIGCHLD, &old, nullptr);
  EXPECT_EQ(reaped.ran, Ran::Unknown);
}

// The children's signal mask and dispositions are checked where the link
// watcher starts its tools.
TEST(Spawn, TheChildGetsAStdinFromACloseOnExecDescriptorZero)
{
  TempDir dir;
  dir.write("in", "from zero\n");
  // Descriptor 0 is the close-on-exec input itself, as when a program
  // started with its standard streams closed opens a file.
  int savedIn = dup(0);
  close(0);
  ASSERT_EQ(open(dir.file("in").c_str(), O_RDONLY | O_CLOEXEC), 0);
  int out = open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  SpawnResult r = run({"cat"}, 0, out);
  dup2(savedIn, 0);
  close(savedIn);
  close(out);
  EXPECT_EQ(r.ran, Ran::Ended);
  EXPECT_EQ(dir.read("out"), "from zero\n");
}
