// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "filelist/filter.h"
#include "text/gbtext.h"

namespace qorin::filelist {
namespace {

using text::gb;

std::vector<std::string> namesAfter(const std::vector<std::string>& names, const FilterOptions& o,
                                    const std::string& dir = "/music/") {
  FileList list;
  for (const auto& n : names) list.addName(n);
  list.fillRows(kFillAppend | kFillDirectory, 0, list.fileCount() - 1, dir);
  applyFilter(list, o);
  std::vector<std::string> out;
  for (const auto& e : list.entries()) out.emplace_back(e.oldName);
  return out;
}

TEST(FileFilter, RemovesOrKeepsTheMatches) {
  using V = std::vector<std::string>;
  const V three = {"song.mp3", "cover.JPG", "notes"};
  const V live = {"01 live.mp3", "LIVE-2.wma", "studio.mp3", gb("现场Live版.mp3")};
  const struct {
    const char* what;
    V names;
    FilterOptions o;
    V want;
  } cases[] = {
      {"ext remove", three, {FilterOperation::Remove, FilterMatch::Extension, "MP3"}, {"cover.JPG", "notes"}},
      {"ext keep", three, {FilterOperation::Keep, FilterMatch::Extension, "MP3"}, {"song.mp3"}},
      {"ext case", three, {FilterOperation::Remove, FilterMatch::Extension, "jpg"}, {"song.mp3", "notes"}},
      {"ext with dot", three, {FilterOperation::Remove, FilterMatch::Extension, ".mp3"}, three},
      {"ext with dot keep", three, {FilterOperation::Keep, FilterMatch::Extension, ".mp3"}, {}},
      {"last dot only",
       {"a.mp3.bak", "b.bak.mp3"},
       {FilterOperation::Remove, FilterMatch::Extension, "mp3"},
       {"a.mp3.bak"}},
      {"contains remove", live, {FilterOperation::Remove, FilterMatch::Contains, "Live"}, {"studio.mp3"}},
      {"contains keep",
       live,
       {FilterOperation::Keep, FilterMatch::Contains, "live"},
       {"01 live.mp3", "LIVE-2.wma", gb("现场Live版.mp3")}},
      {"contains extension",
       three,
       {FilterOperation::Remove, FilterMatch::Contains, ".jp"},
       {"song.mp3", "notes"}},
      {"chinese", live, {FilterOperation::Keep, FilterMatch::Contains, gb("现场")}, {gb("现场Live版.mp3")}},
      {"nothing matches", three, {FilterOperation::Remove, FilterMatch::Contains, "zzz"}, three},
  };
  for (const auto& c : cases) EXPECT_EQ(namesAfter(c.names, c.o), c.want) << c.what;
}

TEST(FileFilter, LooksAtTheNameNotTheFolder) {
  const FilterOptions o{FilterOperation::Remove, FilterMatch::Contains, "Live"};
  EXPECT_EQ(namesAfter({"track.mp3", "live.mp3"}, o, "/music/Live/"),
            (std::vector<std::string>{"track.mp3"}));
}

TEST(FileFilter, ColumnsStayWithTheirEntries) {
  FileList list;
  for (const char* n : {"a.txt", "b.mp3", "c.txt", "d.mp3"}) list.addName(n);
  list.fillRows(kFillAppend | kFillDirectory, 0, 3, "/d/");
  for (int r = 0; r < 4; ++r) {
    list.setMp3Status(r, r < 2 ? Mp3Status::NotMp3 : Mp3Status::NoTag);
    list.setNewName(r, "new-" + std::string(list[r].oldName));
  }
  list.fillRows(kFillNewNames, 0, 3, {});
  EXPECT_EQ(applyFilter(list, {FilterOperation::Remove, FilterMatch::Extension, "txt"}), 2);
  ASSERT_EQ(list.fileCount(), 2);
  ASSERT_EQ(list.rowCount(), 2);
  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(list[r].mp3Code, r == 0 ? Mp3Status::NotMp3 : Mp3Status::NoTag);
    EXPECT_EQ(list[r].newNameCell, "new-" + std::string(list[r].oldName));
  }
  EXPECT_EQ(applyFilter(list, {FilterOperation::Keep, FilterMatch::Extension, "wav"}), 2);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.rowCount(), 0);
}

}  // namespace
}  // namespace qorin::filelist
