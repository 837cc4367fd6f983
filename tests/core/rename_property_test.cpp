#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "rename/rename_pass.h"
#include "text/gbtext.h"

namespace qorin::rename {

using namespace qorin::filelist;
namespace {

namespace stdfs = std::filesystem;

class RenameProperty : public ::testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override {
    root_ = stdfs::temp_directory_path() / ("qorin-rprop-" + std::to_string(std::random_device{}()));
    ASSERT_TRUE(stdfs::create_directory(root_));
    stdfs::create_directory(root_ / "work");
    dir_ = *text::utf8ToGb((root_ / "work").string() + "/");
  }
  void TearDown() override { stdfs::remove_all(root_); }

  // Every file in the work folder, name -> content; anything outside it is
  // a fault of its own.
  std::map<std::string, std::string> files() const {
    std::map<std::string, std::string> out;
    for (const auto& e : stdfs::directory_iterator(root_ / "work")) {
      std::ifstream in(e.path(), std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      out[*text::utf8ToGb(e.path().filename().string())] = s.str();
    }
    EXPECT_EQ(std::distance(stdfs::directory_iterator(root_), stdfs::directory_iterator()), 1);
    return out;
  }

  // The rows name every listed file exactly once with its own content, and
  // the files nobody listed are untouched: nothing lost, nothing replaced.
  void expectRowsMatchFolder(const FileList& list, const std::vector<std::string>& contentOfRow,
                             const std::map<std::string, std::string>& unlisted) {
    std::map<std::string, std::string> claimed = unlisted;
    for (int r = 0; r < list.fileCount(); ++r) {
      const bool fresh = claimed.emplace(list[r].oldName, contentOfRow[static_cast<std::size_t>(r)]).second;
      EXPECT_TRUE(fresh) << "two rows or an unlisted file claim " << list[r].oldName;
    }
    EXPECT_EQ(files(), claimed);
  }

  stdfs::path root_;
  std::string dir_;
};

std::string randomName(std::mt19937& rng) {
  static const char* const pieces[] = {"a", "b", "A", "B", ".mp3", ".MP3", "x", "\xD2\xF4", "\xC0\xD6", "1"};
  std::string s;
  const int n = std::uniform_int_distribution<int>(1, 3)(rng);
  for (int i = 0; i < n; ++i) s += pieces[std::uniform_int_distribution<std::size_t>(0, 9)(rng)];
  return s;
}

TEST_P(RenameProperty, PassThenUndoLosesNothing) {
  std::mt19937 rng(GetParam());
  // Distinct names, some listed and some not, each file with its own content.
  std::vector<std::string> pool;
  while (pool.size() < 40) {
    std::string n = randomName(rng);
    if (std::find(pool.begin(), pool.end(), n) == pool.end()) pool.push_back(n);
  }
  FileList list;
  std::vector<std::string> contentOfRow;
  std::map<std::string, std::string> unlisted;
  for (std::size_t i = 0; i < pool.size(); ++i) {
    const std::string content = "file " + std::to_string(i);
    std::ofstream(root_ / "work" / *text::gbToUtf8(pool[i]), std::ios::binary) << content;
    if (i % 4 == 3) {
      unlisted[pool[i]] = content;
    } else {
      list.addName(pool[i]);
      contentOfRow.push_back(content);
    }
  }
  list.fillRows(kFillAppend | kFillDirectory, 0, list.fileCount() - 1, dir_);

  // Rule outcomes: keep the name, take a pooled name (listed, unlisted or
  // another row's target), something new, or something that must not apply.
  static const std::string bad[] = {"", "..", "../up", "a/b", std::string("a\0", 2), "\x81"};
  for (int r = 0; r < list.fileCount(); ++r) {
    std::string proposal;
    switch (std::uniform_int_distribution<int>(0, 4)(rng)) {
      case 0:
        proposal = list[r].oldName;
        break;
      case 1:
      case 2:
        proposal = pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)];
        break;
      case 3:
        proposal = randomName(rng) + "~" + std::to_string(r % 5);
        break;
      default:
        proposal = bad[std::uniform_int_distribution<std::size_t>(0, 5)(rng)];
        break;
    }
    list.setNewName(r, proposal);
  }

  std::vector<std::string> before;
  for (int r = 0; r < list.fileCount(); ++r) before.push_back(list[r].oldName);
  const int renamed = renamePass(list);
  expectRowsMatchFolder(list, contentOfRow, unlisted);
  int recorded = 0;
  for (int r = 0; r < list.fileCount(); ++r) {
    const FileEntry& e = list[r];
    const bool ok = e.icon == StatusIcon::Success;
    recorded += ok;
    EXPECT_EQ(e.undoName, ok ? before[static_cast<std::size_t>(r)] : "") << r;
    EXPECT_EQ(e.oldName, ok ? e.newName : before[static_cast<std::size_t>(r)]) << r;
  }
  EXPECT_EQ(renamed, recorded);

  // Drop a few rows between pass and undo; their files keep the pass's name.
  std::vector<int> drop;
  for (int r = 0; r < list.fileCount(); r += 7) drop.push_back(r);
  for (auto it = drop.rbegin(); it != drop.rend(); ++it) {
    const auto row = static_cast<std::size_t>(*it);
    unlisted[list[*it].oldName] = contentOfRow[row];
    contentOfRow.erase(contentOfRow.begin() + static_cast<std::ptrdiff_t>(row));
    before.erase(before.begin() + static_cast<std::ptrdiff_t>(row));
  }
  list.removeRows(drop);

  const int undone = undoLastPass(list);
  expectRowsMatchFolder(list, contentOfRow, unlisted);
  int back = 0;
  for (int r = 0; r < list.fileCount(); ++r) {
    if (list[r].icon == StatusIcon::Success) {
      ++back;
      EXPECT_EQ(list[r].oldName, before[static_cast<std::size_t>(r)]) << r;
    }
  }
  EXPECT_EQ(undone, back);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RenameProperty, ::testing::Range(1u, 41u));

}  // namespace
}  // namespace qorin::rename
