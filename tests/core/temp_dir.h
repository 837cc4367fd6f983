// A fresh directory per test, removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace qorin::testing {

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("qorin-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory as the program's texts hold it: ending in the separator.
  std::string dir() const { return path_.string() + "/"; }
  std::filesystem::path path() const { return path_; }

  // ASCII names only, so the code-page path equals the native one.
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::size_t entryCount() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(path_), {}));
  }

  std::string write(const std::string& name, const std::string& content) const {
    std::ofstream(path_ / name, std::ios::binary) << content;
    return (path_ / name).string();
  }
  std::string read(const std::string& name) const {
    std::ifstream f(path_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }

 private:
  std::filesystem::path path_;
};

}  // namespace qorin::testing
