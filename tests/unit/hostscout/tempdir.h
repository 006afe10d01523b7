// A private directory for the record files a test writes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class TempDir {
public:
  TempDir()
  {
    char tmpl[] = "/tmp/hostscout-test.XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const std::string &name) const { return path_ + "/" + name; }
  void write(const std::string &name, const std::string &content) const
  {
    std::ofstream(file(name), std::ios::binary) << content;
  }
  std::string read(const std::string &name) const
  {
    std::ifstream in(file(name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool exists(const std::string &name) const { return std::filesystem::exists(file(name)); }

private:
  std::string path_;
};
