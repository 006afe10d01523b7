#include <gtest/gtest.h>

#include <climits>

#include "common_seams.h"
#include "hostscout_seams.h"
#include "records.h"
#include "tempdir.h"

#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct CountCase {
  const char *content; // nullptr: no count file
  const char *value;   // what ReadInfo_NUM returns
  int next;            // the number of the next record
};

TEST(ReadInfoNum, CountFilesInTheirForms)
{
  const CountCase cases[] = {
      {nullptr, "0", 1},
      {"00=7\n", "7", 8},
      {"00=12", "12", 13},               // no final newline
      {"no count here\n", "", 1},
      {"", "", 1},
      {"00:5\n", "5", 6},                // the third character is skipped whatever it is
      {"00\n", "", 1},                   // shorter than three characters
      {"00=abc\n", "abc", 1},
      {"junk\n00=3\n00=9\n", "3", 4},    // the first count line wins
      {"00=4\r\n", "4\r", 5},
      {"00=99999999999\n", "99999999999", INT_MAX},
      {"00=-5\n", "-5", 1},              // a negative count reads as 0
      {"00=-99999999999\n", "-99999999999", 1},
      // A line longer than 63 characters is read in pieces; a piece that
      // begins with "00" counts as a line.
      {"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx00=21\n", "21", 22},
  };
  for (const CountCase &c : cases) {
    TempDir dir;
    if (c.content != nullptr)
      dir.write("num", c.content);
    std::string path = dir.file("num");
    EXPECT_STREQ(ReadInfo_NUM(path.c_str()), c.value) << (c.content ? c.content : "(none)");
    HostMedium medium{path.c_str(), "unused"};
    EXPECT_EQ(next_record_number(record_count(medium)), c.next) << (c.content ? c.content : "(none)");
  }
}

TEST(ReadInfoNum, EmptyFileDoesNotKeepTheLastValue)
{
  TempDir dir;
  dir.write("a", "00=5\n");
  dir.write("b", "");
  EXPECT_STREQ(ReadInfo_NUM(dir.file("a").c_str()), "5");
  EXPECT_STREQ(ReadInfo_NUM(dir.file("b").c_str()), "");
}

class RecordWriter : public ::testing::Test {
protected:
  TempDir dir;
  std::string count = dir.file("lltd_num_wlan");
  std::string prefix = dir.file("lltd_inf_wlan");
  HostMedium medium{count.c_str(), prefix.c_str()};
};

TEST_F(RecordWriter, WritesTheCountAndFiveLinesInOrder)
{
  ASSERT_TRUE(write_record_count(medium, 8));
  ASSERT_TRUE(write_host_record(medium, 8, HostRecord{"001122aabbcc", "71", "192.168.1.100", "laptop"}));
  EXPECT_EQ(dir.read("lltd_num_wlan"), "00=8\n");
  EXPECT_EQ(dir.read("lltd_inf_wlan8"), "01=001122aabbcc\n03=71\n07=192.168.1.100\n15=laptop\n99=0\n");
}

TEST_F(RecordWriter, ReplacesAnOldRecordAndCount)
{
  dir.write("lltd_num_wlan", "00=41\nstale\n");
  dir.write("lltd_inf_wlan1", "01=old\n03=6\n07=1.2.3.4\n15=NAS\n99=0\n");
  ASSERT_TRUE(write_record_count(medium, 1));
  ASSERT_TRUE(write_host_record(medium, 1, HostRecord{"", "6", "192.168.1.20", "NAS"}));
  EXPECT_EQ(dir.read("lltd_num_wlan"), "00=1\n");
  EXPECT_EQ(dir.read("lltd_inf_wlan1"), "01=\n03=6\n07=192.168.1.20\n15=NAS\n99=0\n");
}

TEST_F(RecordWriter, ValuesReachTheFileAsTheyAreButStayOneLine)
{
  const struct {
    const char *name;
    const char *line;
  } cases[] = {
      {"$(reboot)`id`", "15=$(reboot)`id`\n"},
      {"a\"b'c;d|e&f>g", "15=a\"b'c;d|e&f>g\n"},
      {"\\n -e *", "15=\\n -e *\n"},
      {"evil\n99=0\n01=x", "15=evil?99=0?01=x\n"},
      {"cr\rname", "15=cr?name\n"},
      {"", "15=\n"},
  };
  for (const auto &c : cases) {
    ASSERT_TRUE(write_host_record(medium, 2, HostRecord{"001122aabbcc", "71", "10.0.0.2", c.name}));
    EXPECT_EQ(dir.read("lltd_inf_wlan2"), std::string("01=001122aabbcc\n03=71\n07=10.0.0.2\n") + c.line + "99=0\n")
        << c.name;
  }
}

// A newer run's SIGTERM during the count's write takes effect once the record
// the count names is there.
TEST_F(RecordWriter, ASignalWaitsForTheRecordTheCountNames)
{
  if (fork() == 0) {
    set_replace_sink([](const char *path, const char *text, size_t len, mode_t) {
      FILE *f = fopen(path, "w");
      const bool ok = f != nullptr && fwrite(text, 1, len, f) == len && fclose(f) == 0;
      return ok && (strstr(path, "num") == nullptr || kill(getpid(), SIGTERM) == 0);
    });
    add_host_record(medium, 3, HostRecord{"m", "6", "a", "NAS"});
    _exit(0);
  }
  int status = 0;
  wait(&status);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_EQ(dir.read("lltd_num_wlan") + dir.read("lltd_inf_wlan3"), "00=3\n01=m\n03=6\n07=a\n15=NAS\n99=0\n");
}

} // namespace
