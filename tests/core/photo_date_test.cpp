// SPDX-License-Identifier: GPL-3.0-or-later
// EXIF dates through exiv2, from photos tools/photo_fixtures.py makes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "rules/date_rule.h"
#include "session/session.h"
#include "tags/photo_date.h"
#include "temp_dir.h"

namespace qorin::tags {
namespace {

using platform::LocalTime;

// Makes `path` as a FORMAT photo with the dates given ("original=…" …).
void makePhoto(const std::string& path, const std::string& format, const std::string& dates) {
  const std::string python = std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  const std::string cmd =
      python + " " QORIN_TOOLS_DIR "/photo_fixtures.py '" + path + "' " + format + " " + dates;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

TEST(PhotoDate, TagsInOrderOfPreferenceInEachFormat) {
  const std::string original = "original='2021:05:06 07:08:09'";
  const std::string digitized = "digitized='2020:02:03 04:05:06'";
  const std::string datetime = "datetime='2019:01:02 03:04:05'";
  const struct {
    std::string dates;
    PhotoDateRead read;
    LocalTime taken;
  } cases[] = {
      {original + " " + digitized + " " + datetime, PhotoDateRead::Found, {2021, 5, 6, 7, 8, 9}},
      {digitized + " " + datetime, PhotoDateRead::Found, {2020, 2, 3, 4, 5, 6}},
      {datetime, PhotoDateRead::Found, {2019, 1, 2, 3, 4, 5}},
      // A blank original (as some cameras write) gives way to the next.
      {"original='    :  :     :  :  ' " + datetime, PhotoDateRead::Found, {2019, 1, 2, 3, 4, 5}},
      {"", PhotoDateRead::NoDate, {}},
  };
  testing::TempDir t;
  for (const char* format : {"jpeg", "png", "tiff", "webp", "heic"}) {
    for (const auto& c : cases) {
      const std::string path = t.file(std::string("p.") + format);
      makePhoto(path, format, c.dates);
      LocalTime taken;
      EXPECT_EQ(readPhotoDate(path, taken), c.read) << format << " " << c.dates;
      if (c.read == PhotoDateRead::Found) {
        EXPECT_EQ(taken, c.taken) << format << " " << c.dates;
      }
    }
  }
}

TEST(PhotoDate, DamagedAndForeignFilesHaveNone) {
  testing::TempDir t;
  const std::string jpeg = t.file("whole.jpg");
  makePhoto(jpeg, "jpeg", "original='2021:05:06 07:08:09'");
  std::string bytes;
  {
    std::ifstream in(jpeg, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  LocalTime taken;
  const struct {
    const char* name;
    std::string content;
  } cases[] = {
      {"cut.jpg", bytes.substr(0, 40)},  // inside the EXIF block
      {"empty.jpg", ""},
      {"text.jpg", "not a picture at all"},
      {"tiff-header.tif", std::string("II*\0\xff\xff\xff\x7f", 8)},  // its first directory far past the end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(readPhotoDate(t.write(c.name, c.content), taken), PhotoDateRead::NoDate) << c.name;
  }
  EXPECT_EQ(readPhotoDate(t.file("missing.jpg"), taken), PhotoDateRead::Unreadable);
}

TEST(PhotoDate, ExifDateTexts) {
  const struct {
    const char* text;
    bool valid;
  } cases[] = {{"2021:05:06 07:08:09", true},  {"2021-05-06T07:08:09", true},  {"0000:00:00 00:00:00", false},
               {"2021:13:06 07:08:09", false}, {"2021:05:06 24:00:00", false}, {"2021:05:06", false}};
  for (const auto& c : cases) EXPECT_EQ(parseExifDate(c.text).has_value(), c.valid) << c.text;
}

TEST(PhotoDate, RuleAndSortUseTheDateTaken) {
  testing::TempDir home, t;
  // A burst of three in one second, one earlier, and one without EXIF.
  makePhoto(t.file("a.jpg"), "jpeg", "original='2021:05:06 07:08:09'");
  makePhoto(t.file("b.jpg"), "jpeg", "original='2021:05:06 07:08:09'");
  makePhoto(t.file("c.jpg"), "jpeg", "original='2021:05:06 07:08:09'");
  makePhoto(t.file("d.heic"), "heic", "original='2001:01:01 00:00:00'");
  makePhoto(t.file("e.png"), "png", "");
  session::Session s(session::Places::in(home.dir()));
  s.addFolder(t.dir());
  rules::DateOptions o;
  o.source = rules::DateSource::Taken;
  s.setRule(o);
  s.applyRule(s.list().rowCount());
  const filelist::FileList& l = s.list();
  EXPECT_EQ(l[0].newName, "2021-05-06_070809.jpg");
  EXPECT_EQ(l[1].newName, "2021-05-06_070809_1.jpg");
  EXPECT_EQ(l[2].newName, "2021-05-06_070809_2.jpg");
  EXPECT_EQ(l[3].newName, "2001-01-01_000000.heic");
  EXPECT_EQ(l[4].proposalProblem, filelist::Reason::NoDateTaken);
  EXPECT_EQ(l[0].proposalProblem, filelist::Reason::None);
  // Sorted by date taken: the file without EXIF goes by its modification
  // time (now), so last; the burst keeps its order.
  s.sortByFile(session::SortKey::Taken);
  std::vector<std::string> names;
  for (int r = 0; r < l.rowCount(); ++r) names.emplace_back(l[r].oldName);
  EXPECT_EQ(names, (std::vector<std::string>{"d.heic", "a.jpg", "b.jpg", "c.jpg", "e.png"}));
}

// Enough photos to be read several at once: each keeps its own date.
TEST(PhotoDate, ManyPhotosReadAtOnceKeepTheirOwnDates) {
  testing::TempDir t;
  const std::string stamp = "2021:05:06 07:08:09";
  makePhoto(t.file("seed"), "jpeg", "original='" + stamp + "'");
  std::ifstream in(t.file("seed"), std::ios::binary);
  const std::string seed((std::istreambuf_iterator<char>(in)), {});
  std::filesystem::remove(t.file("seed"));
  filelist::FileList list;
  constexpr int kPhotos = 40;
  for (int i = 0; i < kPhotos; ++i) {
    std::string bytes = seed;
    char day[32];
    std::snprintf(day, sizeof day, "2021:05:%02d 07:08:09", i % 28 + 1);
    for (auto at = bytes.find(stamp); at != std::string::npos; at = bytes.find(stamp, at + 1))
      bytes.replace(at, stamp.size(), day);
    const std::string name = "p" + std::to_string(100 + i) + (i == 7 ? ".txt" : ".jpg");
    std::ofstream(t.file(name), std::ios::binary) << (i == 7 ? std::string("no photo") : bytes);
    list.addName(name);
  }
  list.addName("gone.jpg");  // listed, then taken away
  list.fillRows(filelist::kFillAppend | filelist::kFillDirectory, 0, kPhotos, t.dir());
  rules::DateOptions o;
  o.source = rules::DateSource::Taken;
  o.format = "dd";
  rules::dateRule(list, o);
  for (int i = 0; i < kPhotos; ++i) {
    if (i == 7) {
      EXPECT_EQ(list[i].proposalProblem, filelist::Reason::NoDateTaken);
      continue;
    }
    char day[8];
    std::snprintf(day, sizeof day, "%02d", i % 28 + 1);
    EXPECT_EQ(list[i].newName.substr(0, 2), day) << i;
  }
  EXPECT_EQ(list[kPhotos].proposalProblem, filelist::Reason::Unreadable);
}

}  // namespace
}  // namespace qorin::tags
