// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh directory per test, removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

namespace qorin::testing {

// Names in UTF-8 both ways: Windows reads a narrow path in its ANSI code page.
inline std::filesystem::path fromUtf8(const std::string& utf8) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
  return utf8;
#endif
}
inline std::string toUtf8(const std::filesystem::path& p) {
#ifdef _WIN32
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
#else
  return p.string();
#endif
}

// The names in a folder, sorted.
inline std::set<std::string> namesIn(const std::filesystem::path& dir) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

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
  std::string dir() const {
    return path_.string() + static_cast<char>(std::filesystem::path::preferred_separator);
  }
  std::filesystem::path path() const { return path_; }

  // ASCII names only, so the code-page path equals the native one.
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::size_t entryCount() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(path_), {}));
  }

  std::string write(const std::string& name, const std::string& content) const {
    std::ofstream(path_ / fromUtf8(name), std::ios::binary) << content;
    return (path_ / name).string();
  }
  std::string read(const std::string& name) const {
    std::ifstream f(path_ / fromUtf8(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }

 private:
  std::filesystem::path path_;
};

}  // namespace qorin::testing
