#include <gtest/gtest.h>

#include "pieces.h"
#include "smallfile.h"
#include "tempdir.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> fgetsPieces(const std::string &path, int size)
{
  std::vector<std::string> out;
  FILE *f = fopen(path.c_str(), "r");
  std::vector<char> buf(static_cast<size_t>(size));
  while (fgets(buf.data(), size, f) != nullptr)
    out.emplace_back(buf.data());
  fclose(f);
  return out;
}

std::vector<std::string> readerPieces(PieceReader &reader, size_t size)
{
  std::vector<std::string> out;
  std::vector<char> buf(size);
  while (reader.next(buf.data(), size) > 0)
    out.emplace_back(buf.data());
  return out;
}

} // namespace

TEST(Pieces, FileAndMemoryComeInTheSamePiecesAsFgets)
{
  std::string longLine(1500, 'x');
  const std::string texts[] = {"", "a\nbb\n\nccc", "no newline", longLine + "\n00=1\n" + longLine,
                               std::string("nul\0inside\nnext\n", 16), "\n\n\n"};
  for (const std::string &text : texts) {
    TempDir dir;
    dir.write("f", text);
    for (int size : {2, 5, 20, 64, 160}) {
      SCOPED_TRACE(std::to_string(size) + ": " + text.substr(0, 20));
      auto expected = fgetsPieces(dir.file("f"), size);
      PieceReader memory(text.data(), text.size());
      EXPECT_EQ(readerPieces(memory, static_cast<size_t>(size)), expected);
      int fd = open(dir.file("f").c_str(), O_RDONLY);
      PieceReader file(fd);
      EXPECT_EQ(readerPieces(file, static_cast<size_t>(size)), expected);
      close(fd);
    }
  }
}

TEST(SmallFiles, OnlyRegularFilesAreInput)
{
  TempDir dir;
  dir.write("plain", "1\n");
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0); // no writer: opening it would wait
  ASSERT_EQ(symlink("/dev/zero", dir.file("zero").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("plain").c_str(), dir.file("link").c_str()), 0);
  char buf[8];
  EXPECT_EQ(read_small_file(dir.file("plain").c_str(), buf, sizeof buf), 2);
  EXPECT_EQ(read_small_file(dir.file("link").c_str(), buf, sizeof buf), 2);
  for (const char *name : {"fifo", "zero", "missing"})
    EXPECT_EQ(read_small_file(dir.file(name).c_str(), buf, sizeof buf), -1) << name;
  EXPECT_EQ(read_small_file(dir.path(), buf, sizeof buf), -1);
  // The kernel's files report no size but read as they are.
  EXPECT_GT(read_small_file("/proc/self/stat", buf, sizeof buf), 0);
}

TEST(SmallFiles, ReplaceSwapsTheWholeFileAndNeverWritesThroughALink)
{
  TempDir dir;
  dir.write("target", "keep\n");
  ASSERT_EQ(symlink(dir.file("target").c_str(), dir.file("f").c_str()), 0);
  mode_t old_mask = umask(022);
  EXPECT_TRUE(replace_file(dir.file("f").c_str(), "new\n", 4, 0666));
  umask(old_mask);
  EXPECT_EQ(dir.read("target"), "keep\n");
  struct stat st = {};
  ASSERT_EQ(lstat(dir.file("f").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(dir.read("f"), "new\n");
}

TEST(SmallFiles, FailedReplaceKeepsTheOldFileAndLeavesNoTemporary)
{
  TempDir dir;
  // A directory in the way: the rename cannot replace it.
  ASSERT_EQ(mkdir(dir.file("d").c_str(), 0755), 0);
  errno = 0;
  EXPECT_FALSE(replace_file(dir.file("d").c_str(), "x\n", 2));
  EXPECT_NE(errno, 0);
  EXPECT_FALSE(replace_file(dir.file("missing/f").c_str(), "x\n", 2));
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(replace_file_or_report("prog", dir.file("d").c_str(), "x\n", 2));
  std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(said.rfind("prog: cannot write " + dir.file("d") + ": ", 0), 0u) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
  std::vector<std::string> left;
  for (const auto &entry : std::filesystem::directory_iterator(dir.path()))
    left.push_back(entry.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"d"});
}

TEST(SmallFiles, SigtermNeverLeavesATemporaryFile)
{
  TempDir dir;
  std::string path = dir.file("f");
  std::string text(64 * 1024, 'x'); // long to write: most signals fall while the temporary file exists
  for (int round = 0; round < 20; ++round) {
    pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      for (;;)
        replace_file(path.c_str(), text.data(), text.size());
    }
    usleep(static_cast<useconds_t>(2000 + round * 300));
    kill(writer, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  }
  std::vector<std::string> left;
  for (const auto &entry : std::filesystem::directory_iterator(dir.path()))
    left.push_back(entry.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"f"});
}
