// A private directory under /tmp for the files a test writes; removed with
// everything in it when the test ends.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class TempDir {
public:
  TempDir()
  {
    char tmpl[] = "/tmp/unit-test.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
      perror("mkdtemp");
      abort();
    }
    path_ = tmpl;
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const char *path() const { return path_.c_str(); }
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
  void remove(const std::string &name) const { std::filesystem::remove(file(name)); }

private:
  std::string path_;
};
