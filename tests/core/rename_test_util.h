// SPDX-License-Identifier: GPL-3.0-or-later
// A temporary root holding a "work" folder for the listed files and a
// "state" folder for the journal, so a name that escapes the work folder
// shows up in the root.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "temp_dir.h"
#include "text/gbtext.h"
#include "unreadable_folders.h"

namespace qorin::rename::testing {

namespace stdfs = std::filesystem;
using qorin::testing::setImmutable;

class RenameDir : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    root_ = stdfs::temp_directory_path() / ("qorin-rename-" + std::to_string(rd()) + std::to_string(rd()));
    ASSERT_TRUE(stdfs::create_directory(root_));
    stdfs::create_directory(root_ / "work");
    dir_ = *text::utf8ToGb((root_ / "work").string() + static_cast<char>(stdfs::path::preferred_separator));
    journal_ = *text::utf8ToGb((root_ / "state" / "journal").string());
  }
  void TearDown() override {
    std::error_code ec;
    stdfs::permissions(root_ / "state", stdfs::perms::owner_all, ec);
    stdfs::remove_all(root_, ec);
  }

  stdfs::path native(const std::string& gbName) const {
    return root_ / "work" / qorin::testing::fromUtf8(*text::gbToUtf8(gbName));
  }

  void write(const std::string& gbName, const std::string& content) const {
    std::ofstream(native(gbName), std::ios::binary) << content;
  }

  std::string content(const std::string& gbName) const {
    std::ifstream in(native(gbName), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // name -> content of every entry in the work folder.
  std::map<std::string, std::string> files() const {
    std::map<std::string, std::string> out;
    for (const auto& e : stdfs::directory_iterator(root_ / "work")) {
      const std::string name = *text::utf8ToGb(qorin::testing::toUtf8(e.path().filename()));
      out[name] = content(name);
    }
    return out;
  }

  std::set<std::string> rootEntries() const {
    std::set<std::string> out;
    for (const auto& e : stdfs::directory_iterator(root_))
      out.insert(qorin::testing::toUtf8(e.path().filename()));
    return out;
  }

  std::string journalText() const {
    std::ifstream in(*text::gbToUtf8(journal_), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void setJournal(const std::string& text) const {
    std::ofstream(*text::gbToUtf8(journal_), std::ios::binary | std::ios::trunc) << text;
  }

  // One file per name, its content "content of " + the name, listed in order.
  filelist::FileList listOf(const std::vector<std::string>& names) const {
    filelist::FileList list;
    for (const auto& n : names) {
      write(n, "content of " + n);
      list.addName(n);
    }
    list.fillRows(filelist::kFillAppend | filelist::kFillDirectory, 0, list.fileCount() - 1, dir_);
    return list;
  }

  static void propose(filelist::FileList& list, const std::vector<std::string>& newNames) {
    for (int r = 0; r < list.fileCount(); ++r) list.setNewName(r, newNames[static_cast<std::size_t>(r)]);
  }

  stdfs::path root_;
  std::string dir_;      // the work folder, code page, with separator
  std::string journal_;  // code page
};

}  // namespace qorin::rename::testing
