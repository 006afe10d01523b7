#include "recorder.h"

std::vector<std::string> &recorded_commands()
{
  static std::vector<std::string> lines;
  return lines;
}

int record_command(const char *line)
{
  recorded_commands().emplace_back(line);
  return 0;
}

bool record_replace(const char *path, const char *text, size_t len, mode_t)
{
  recorded_commands().push_back(std::string("write ") + path + ": " + std::string(text, len));
  return true;
}

bool record_remove(const char *path)
{
  recorded_commands().push_back(std::string("remove ") + path);
  return true;
}

void RecordingTest::SetUp()
{
  recorded_commands().clear();
  set_command_sink(record_command);
  set_replace_sink(record_replace);
  set_remove_sink(record_remove);
}

void RecordingTest::TearDown()
{
  set_command_sink(nullptr);
  set_replace_sink(nullptr);
  set_remove_sink(nullptr);
}

void RecordingTest::startOutput()
{
  ::testing::internal::CaptureStdout();
}

std::string RecordingTest::output()
{
  return ::testing::internal::GetCapturedStdout();
}
