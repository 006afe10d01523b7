// Records the command lines a program runs instead of handing them to the shell.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command.h"
#include "common_seams.h"
#include "smallfile.h"

std::vector<std::string> &recorded_commands();
int record_command(const char *line);
// Records a whole-file replacement as the line "write <path>: <text>".
bool record_replace(const char *path, const char *text, size_t len, mode_t mode);

// Installs the recorder of command lines and file replacements for one test
// and restores the shell and the file system afterwards.
class RecordingTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  const std::vector<std::string> &commands() const { return recorded_commands(); }
  // Captures what the code under test prints on standard output.
  void startOutput();
  std::string output();
};
