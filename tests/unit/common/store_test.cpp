// The file-backed configuration store. It loads its file once per process, so
// each case reads it in a child process.
#include <gtest/gtest.h>

#include "nvram.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#ifdef HAVE_FILE_STORE
namespace {

std::string temp_store(const std::string &text)
{
  char path[] = "/tmp/storeXXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  return path;
}

// Reads key from the store file in a child; "<null>" when the store returned none.
std::string read_in_child(const char *file, const char *key)
{
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  pid_t pid = fork();
  if (pid == 0) {
    if (file != nullptr)
      setenv("NVRAM_FILE", file, 1);
    else
      setenv("NVRAM_FILE", "/nonexistent/store", 1);
    const char *v = nvram_get(0, key);
    const char *b = nvram_bufget(0, key);
    std::string out = v == nullptr ? "<null>" : v;
    if (b != v)
      out += "<differs>";
    (void)!write(fds[1], out.data(), out.size());
    _exit(0);
  }
  close(fds[1]);
  std::string result;
  char buf[256];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0)
    result.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return result;
}

} // namespace

TEST(FileStore, ValuesAreTheTextAfterTheFirstEquals)
{
  std::string file = temp_store("# comment=yes\n"
                                "noequals\n"
                                "QoSUserRules0=1,1,,0, a=b ,=\n"
                                "speed=10M\n"
                                "speed=512k\n"
                                "empty=\n"
                                "last=no newline");
  EXPECT_EQ(read_in_child(file.c_str(), "QoSUserRules0"), "1,1,,0, a=b ,=");
  EXPECT_EQ(read_in_child(file.c_str(), "speed"), "512k"); // later line wins
  EXPECT_EQ(read_in_child(file.c_str(), "empty"), "");
  EXPECT_EQ(read_in_child(file.c_str(), "last"), "no newline");
  EXPECT_EQ(read_in_child(file.c_str(), "# comment"), "");
  EXPECT_EQ(read_in_child(file.c_str(), "noequals"), "");
  EXPECT_EQ(read_in_child(file.c_str(), "spee"), "");
  EXPECT_EQ(read_in_child(file.c_str(), "absent"), "");
  unlink(file.c_str());
}

TEST(FileStore, MissingFileReadsAsEmpty)
{
  EXPECT_EQ(read_in_child(nullptr, "OP_Mode"), "");
}
#endif
