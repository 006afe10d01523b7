// The file-backed configuration store. Its messages are once per process and
// a full arena lasts for the process, so each case runs in a child process.
#include <gtest/gtest.h>

#include "nvram.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifdef HAVE_FILE_STORE
namespace {

struct ChildResult {
  std::string report; // what the case wrote on its standard output
  std::string errors; // its standard error
};

std::string drain(int fd)
{
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0)
    text.append(buf, static_cast<size_t>(n));
  close(fd);
  return text;
}

// Runs body in a child whose store file is path; its result is the report.
ChildResult in_child(const std::string &path, const std::function<std::string()> &body)
{
  char errPath[] = "/tmp/storeerrXXXXXX";
  int errFd = mkstemp(errPath);
  EXPECT_GE(errFd, 0);
  int out[2];
  EXPECT_EQ(pipe(out), 0);
  pid_t pid = fork();
  if (pid == 0) {
    close(out[0]);
    dup2(errFd, 2);
    setenv("NVRAM_FILE", path.c_str(), 1);
    std::string report = body();
    (void)!write(out[1], report.data(), report.size());
    _exit(0);
  }
  close(out[1]);
  ChildResult result;
  result.report = drain(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  lseek(errFd, 0, SEEK_SET);
  result.errors = drain(errFd);
  unlink(errPath);
  return result;
}

std::string temp_dir()
{
  char dir[] = "/tmp/storedirXXXXXX";
  EXPECT_NE(mkdtemp(dir), nullptr);
  return dir;
}

// Changes the store the documented way: a new file renamed over the old one.
void write_store(const std::string &path, const std::string &text)
{
  std::string fresh = path + ".new";
  FILE *f = fopen(fresh.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  ASSERT_EQ(rename(fresh.c_str(), path.c_str()), 0);
}

void remove_dir(const std::string &dir)
{
  std::string cmd = "rm -rf '" + dir + "'";
  (void)!system(cmd.c_str());
}

std::string value(const char *key)
{
  const char *v = nvram_get(0, key);
  if (v == nullptr)
    return "<null>";
  return nvram_bufget(0, key) == v ? v : std::string(v) + "<differs>";
}

// Each case has a directory of its own for the store file.
class FileStore : public ::testing::Test {
protected:
  void SetUp() override
  {
    dir = temp_dir();
    path = dir + "/store";
  }
  void TearDown() override { remove_dir(dir); }
  std::string dir;
  std::string path;
};

} // namespace

TEST_F(FileStore, ValuesAreTheTextAfterTheFirstEqualsLessATrailingCr)
{
  write_store(path, "# comment=yes\n"
                    "noequals\n"
                    "QoSUserRules0=1,1,,0, a=b ,=\n"
                    "speed=10M\n"
                    "speed=512k\n"
                    "empty=\n"
                    "crlf=DHCP\r\n"
                    "inner=a\rb\r\n" +
                        std::string("nul=a\0b=c\n\0hidden=x\n", 20) + // a NUL ends its line
                        "last=no newline\r");
  ChildResult r = in_child(path, [] {
    std::string out;
    for (const char *key : {"QoSUserRules0", "speed", "empty", "crlf", "inner", "nul", "b", "hidden", "last",
                            "# comment", "noequals", "spee", "absent"})
      out += std::string(key) + "=[" + value(key) + "]\n";
    return out;
  });
  EXPECT_EQ(r.report, "QoSUserRules0=[1,1,,0, a=b ,=]\n"
                      "speed=[512k]\n" // the later line wins
                      "empty=[]\n"
                      "crlf=[DHCP]\n"
                      "inner=[a\rb]\n"
                      "nul=[a]\n"
                      "b=[]\n"
                      "hidden=[]\n"
                      "last=[no newline]\n"
                      "# comment=[]\n"
                      "noequals=[]\n"
                      "spee=[]\n"
                      "absent=[]\n");
  EXPECT_EQ(r.errors, "");
}

// No wait for a whole file: one ending with a newline, or one without whose
// last change is older than the store's 100 ms settle time.
TEST_F(FileStore, AWholeFileIsReadWithoutWaiting)
{
  for (const auto &[text, agedMs] : {std::pair{"OP_Mode=1\n", 0}, std::pair{"OP_Mode=1", 150}}) {
    ChildResult r = in_child(path, [&, text = text, agedMs = agedMs] {
      write_store(path, text);
      usleep(static_cast<useconds_t>(agedMs) * 1000);
      rusage before{}, after{};
      getrusage(RUSAGE_THREAD, &before);
      std::string v = nvram_get(0, "OP_Mode");
      getrusage(RUSAGE_THREAD, &after);
      return v + ", waits: " + std::to_string(after.ru_nvcsw - before.ru_nvcsw);
    });
    EXPECT_EQ(r.report, "1, waits: 0") << text;
  }
}

TEST_F(FileStore, AChangeByRenameIsSeenAndEveryEarlierValueStays)
{
  write_store(path, "wanConnectionMode=PPPOE\nlan_gateway=10.0.0.1\n");
  ChildResult r = in_child(path, [&] {
    std::string out;
    const char *mode1 = nvram_get(0, "wanConnectionMode");
    const char *gw1 = nvram_get(0, "lan_gateway");
    // Same size and, most likely, the same timestamps as the file it replaces.
    write_store(path, "wanConnectionMode=L2TP \nlan_gateway=10.0.0.2\n");
    const char *mode2 = nvram_get(0, "wanConnectionMode");
    const char *gw2 = nvram_get(0, "lan_gateway");
    write_store(path, "wanConnectionMode=DHCP\n");
    const char *mode3 = nvram_get(0, "wanConnectionMode");
    const char *gw3 = nvram_get(0, "lan_gateway");
    write_store(path, "wanConnectionMode=PPPOE\nlan_gateway=10.0.0.1\n");
    const char *mode4 = nvram_get(0, "wanConnectionMode");
    for (const char *v : {mode1, gw1, mode2, gw2, mode3, gw3, mode4})
      out += std::string("[") + v + "]";
    out += mode4 == mode1 ? " same" : " copied";
    return out;
  });
  EXPECT_EQ(r.report, "[PPPOE][10.0.0.1][L2TP ][10.0.0.2][DHCP][][PPPOE] same");
  EXPECT_EQ(r.errors, "");
}

TEST_F(FileStore, AValueFlippingBackAndForthDoesNotFillTheArena)
{
  write_store(path, "RadioOff=0\n");
  ChildResult r = in_child(path, [&] {
    const char *first[2] = {nullptr, nullptr};
    int differing = 0;
    for (int i = 0; i < 1000; ++i) {
      write_store(path, i % 2 == 0 ? "RadioOff=0\n" : "RadioOff=1\n");
      const char *v = nvram_get(0, "RadioOff");
      if (v[0] != (i % 2 == 0 ? '0' : '1'))
        return std::string("change not seen at ") + std::to_string(i);
      if (first[i % 2] == nullptr)
        first[i % 2] = v;
      differing += v != first[i % 2];
    }
    return "pointers not reused: " + std::to_string(differing);
  });
  EXPECT_EQ(r.report, "pointers not reused: 0");
  EXPECT_EQ(r.errors, "");
}

TEST_F(FileStore, EveryChangeIsSeenUntilTheArenaCapKeepsTheSnapshotOfThatMoment)
{
  ChildResult r = in_child(path, [&] {
    std::string out;
    std::vector<const char *> handed;
    std::vector<std::string> expected;
    // 10,000 distinct values of 40 characters, then values of 4,000 until the cap.
    for (size_t n = 0; n < 12000; ++n) {
      char tail[8];
      snprintf(tail, sizeof tail, "%06zu", n);
      expected.push_back(std::string(n < 10000 ? 34 : 3994, static_cast<char>('a' + n % 26)) + tail);
      write_store(path, "lan_gateway=" + expected[n] + "\n");
      handed.push_back(nvram_get(0, "lan_gateway"));
      if (handed[n] != expected[n])
        break;
    }
    size_t n = handed.size() - 1;
    out += n >= 10000 ? "all seen" : "lost at " + std::to_string(n);
    // From the read that found no room on, the snapshot of that moment is served in place.
    out += n < 11999 && handed[n] == handed[n - 1] ? ", kept" : ", not kept";
    write_store(path, "lan_gateway=new\n");
    out += nvram_get(0, "lan_gateway") == handed[n] ? " in place" : " moved";
    for (size_t i = 0; i < n; ++i)
      if (handed[i] != expected[i])
        out += " changed:" + std::to_string(i);
    return out;
  });
  EXPECT_EQ(r.report, "all seen, kept in place");
  EXPECT_EQ(r.errors, "nvram: no room left for changed values within 1024 KiB: " + path + " is no longer reloaded\n");
}

TEST_F(FileStore, TheSettingsLastReadOutlastAMissingUnreadableOrEmptyFile)
{
  ChildResult r = in_child(path, [&] {
    std::string out;
    auto seen = [&] { out.append("[").append(value("OP_Mode")).append("]"); };
    seen(); // missing from the start: empty
    write_store(path, "OP_Mode=1\n");
    seen();
    // An empty file, a rewrite in place caught half-way: the link watcher's
    // system test rewrites its store so.
    unlink(path.c_str());
    seen();
    mkdir(path.c_str(), 0700);
    seen();
    rmdir(path.c_str()), mkfifo(path.c_str(), 0600);
    seen();
    unlink(path.c_str());
    write_store(path, "# cleared\n");
    seen();
    return out;
  });
  EXPECT_EQ(r.report, "[][1][1][1][1][]");
  EXPECT_EQ(r.errors, "nvram: cannot read " + path + " (No such file or directory): every setting reads as empty\n");
}

// Rewrites in place, as a writer that does not rename makes them.
void rewrite(const std::string &path, const char *text)
{
  FILE *f = fopen(path.c_str(), "w");
  fputs(text, f);
  fclose(f);
}

// Before any settings, an empty file (a rewrite caught between truncation and
// write) is whole only once it has settled: the write that follows is read.
TEST_F(FileStore, AnEmptyFileAtTheStartWaitsForItsWrite)
{
  ChildResult r = in_child(path, [&] {
    rewrite(path, "");
    if (fork() == 0) {
      usleep(20 * 1000);
      rewrite(path, "k=v\n");
      _exit(0);
    }
    std::string v = value("k");
    wait(nullptr);
    return v;
  });
  EXPECT_EQ(r.report, "v");
}

// Two rewrites of one size within the kernel's tick leave the file's times as
// they were; the second is read once the change has aged. Only a kernel that
// keeps file times to its tick can show it (the lab box runs this case).
TEST_F(FileStore, ASameSizeRewriteWithinATickIsReadOnceItHasAged)
{
  ChildResult r = in_child(path, [&] {
    struct stat a, b;
    for (int i = 0; i < 200; ++i) {
      rewrite(path, "k=aaaa\n"), stat(path.c_str(), &a), value("k");
      rewrite(path, "k=bbbb\n"), stat(path.c_str(), &b);
      if (a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec) {
        usleep(150 * 1000);
        return value("k");
      }
    }
    return std::string("no two rewrites within one tick");
  });
  if (r.report == "no two rewrites within one tick")
    GTEST_SKIP() << "this kernel keeps file times finer than its tick";
  EXPECT_EQ(r.report, "bbbb");
}

TEST_F(FileStore, AFileOverCapacityKeepsItsWholeLinesWithin)
{
  // 16-byte lines "k00000=v00000xx\n": 8192 of them fill 128 KiB exactly.
  std::string text;
  char line[32];
  for (int i = 0; i < 8200; ++i) {
    snprintf(line, sizeof line, "k%05d=v%05dxx\n", i, i);
    text += line;
  }
  text.insert(16 * 8191 + 1, "x"); // the last line within the capacity now crosses it
  write_store(path, text);
  ChildResult r = in_child(path, [] { return value("k00000") + " " + value("k08190") + " [" + value("k08191") + "]"; });
  EXPECT_EQ(r.report, "v00000xx v08190xx []");
  EXPECT_EQ(r.errors, "nvram: " + path + " is larger than 131072 bytes: only the whole lines within them are read\n");
}

TEST_F(FileStore, TraceAppendsEachKeyAskedFor)
{
  std::string tracePath = dir + "/trace";
  write_store(path, "OP_Mode=0\n");
  ChildResult r = in_child(path, [&] {
    setenv("NVRAM_TRACE", tracePath.c_str(), 1);
    std::string out = value("OP_Mode");
    out += value("absent");
    setenv("NVRAM_TRACE", (dir + "/no/such/dir/trace").c_str(), 1);
    out += value("OP_Mode"); // a trace that cannot be written fails no read
    return out;
  });
  EXPECT_EQ(r.report, "00");
  FILE *f = fopen(tracePath.c_str(), "r");
  ASSERT_NE(f, nullptr);
  char buf[128] = {};
  size_t n = fread(buf, 1, sizeof buf - 1, f);
  fclose(f);
  // value() asks each key twice, once per name.
  EXPECT_EQ(std::string(buf, n), "OP_Mode\nOP_Mode\nabsent\nabsent\n");
}
#endif
