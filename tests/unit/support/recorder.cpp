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

void RecordingTest::SetUp()
{
  recorded_commands().clear();
  set_command_sink(record_command);
}

void RecordingTest::TearDown()
{
  set_command_sink(nullptr);
}

void RecordingTest::startOutput()
{
  ::testing::internal::CaptureStdout();
}

std::string RecordingTest::output()
{
  return ::testing::internal::GetCapturedStdout();
}
