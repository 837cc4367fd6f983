// SPDX-License-Identifier: GPL-3.0-or-later
// EXIF dates through exiv2, from photos tools/photo_fixtures.py makes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "outcome_codes.h"
#include "rules/date_rule.h"
#include "session/session.h"
#include "tags/photo_date.h"
#include "temp_dir.h"

namespace qorin::tags {
namespace {

using platform::LocalTime;

std::string python() { return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

// Makes `path` as a FORMAT photo with the dates given ("original=…" …).
void makePhoto(const std::string& path, const std::string& format, const std::string& dates) {
  const std::string cmd =
      python() + " " QORIN_TOOLS_DIR "/photo_fixtures.py '" + path + "' " + format + " " + dates;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// Many at once, one generator run: each line "PATH FORMAT KEY=TEXT…".
void makePhotos(const std::vector<std::string>& lines) {
  const std::string cmd = python() + " " QORIN_TOOLS_DIR "/photo_fixtures.py -";
  FILE* in = popen(cmd.c_str(), "w");
  ASSERT_TRUE(in);
  for (const std::string& l : lines) std::fputs((l + "\n").c_str(), in);
  ASSERT_EQ(pclose(in), 0);
}

// The date as names and the tests spell it, milliseconds after a dot.
std::string shown(const LocalTime& t) {
  return rules::formatDate("yyyy-MM-dd HH:mm:ss.zzz", t) + (t.millisecond < 0 ? "?" : "");
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
  const auto path = [&](const char* format, std::size_t i) {
    return t.file(std::to_string(i) + "." + format);
  };
  const char* const formats[] = {"jpeg", "png", "tiff", "webp", "heic"};
  std::vector<std::string> lines;
  for (const char* format : formats)
    for (std::size_t i = 0; i < std::size(cases); ++i)
      lines.push_back("'" + path(format, i) + "' " + format + " " + cases[i].dates);
  makePhotos(lines);
  for (const char* format : formats) {
    for (std::size_t i = 0; i < std::size(cases); ++i) {
      const auto& c = cases[i];
      LocalTime taken;
      EXPECT_EQ(readPhotoDate(path(format, i), taken), c.read) << format << " " << c.dates;
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

// Each source's text as it reads: the clock written, zones left alone,
// fractions as milliseconds ("?": none kept; "-": no date).
TEST(PhotoDate, DateTextsAndFractions) {
  const struct {
    std::optional<LocalTime> (*parse)(std::string_view);
    const char* text;
    const char* read;
  } cases[] = {
      {parseExifDate, "2021:05:06 07:08:09", "2021-05-06 07:08:09.000?"},
      {parseExifDate, "2021:05:06 07:08:09.25", "2021-05-06 07:08:09.250"},
      {parseXmpDate, "2021-05-06T07:08:09.5+08:00", "2021-05-06 07:08:09.500"},
      {parseXmpDate, "2021-05-06T07:08:09Z", "2021-05-06 07:08:09.000?"},
      {parseXmpDate, "2021-05-06T07:08-0500", "2021-05-06 07:08:00.000?"},  // XMP may leave out the seconds
      {parseXmpDate, "2021-05-06T07:08:09.123456", "2021-05-06 07:08:09.123"},
      {parseXmpDate, "2021-05-06", "2021-05-06 00:00:00.000?"},
      {parseXmpDate, "2021:05:06 07:08:09",
       "2021-05-06 07:08:09.000?"},  // EXIF's form, as some editors write
      {parseXmpDate, "2021-05", "-"},
      {parseXmpDate, "2021-05-06T25:00:00", "-"},
      {parseXmpDate, "2021-05-06T07:08:09 yesterday", "-"},
      {parseXmpDate, "2021-05:06", "-"},
  };
  for (const auto& c : cases) {
    const auto t = c.parse(c.text);
    EXPECT_EQ(t ? shown(*t) : "-", c.read) << c.text;
  }
  const struct {
    const char* text;
    int ms;
  } fractions[] = {{"5", 500}, {"05", 50}, {"123456", 123}, {" 12", 120}, {"", -1}, {"  ", -1}, {"x1", -1}};
  for (const auto& f : fractions) EXPECT_EQ(subSecondMs(f.text), f.ms) << f.text;
}

// The order of photo_date.h: each case drops the source the one before
// found, and what each source holds differs, so the one read shows.
TEST(PhotoDate, SourcesInTheirOrder) {
  const std::string exifOriginal = "original='2021:01:01 01:01:01' subsecoriginal=12";
  const std::string ifd0 = "ifd0original='2022:02:02 02:02:02'";
  const std::string xmpOriginal = "Xmp.exif.DateTimeOriginal=2023-03-03T03:03:03.5+08:00";
  const std::string photoshop = "Xmp.photoshop.DateCreated=2024-04-04";
  const std::string iptc = "Iptc.DateCreated=20250505 Iptc.TimeCreated=050505+0800";
  const std::string digitized = "digitized='2026:06:06 06:06:06' subsecdigitized=06";
  const std::string xmpDigitized = "Xmp.exif.DateTimeDigitized=2027-07-07T07:07:07";
  const std::string xmpCreate = "Xmp.xmp.CreateDate=2028-08-08T08:08Z";
  const std::string datetime = "datetime='2029:09:09 09:09:09' subsec=999999";
  const std::string later = xmpDigitized + " " + xmpCreate + " " + datetime;
  const struct {
    std::string dates;
    const char* read;
  } cases[] = {
      {exifOriginal + " " + ifd0 + " " + xmpOriginal + " " + photoshop + " " + iptc + " " + digitized + " " +
           later,
       "2021-01-01 01:01:01.120"},
      {ifd0 + " subsecoriginal=3 " + xmpOriginal + " " + photoshop, "2022-02-02 02:02:02.300"},
      {xmpOriginal + " " + photoshop + " " + iptc + " " + digitized, "2023-03-03 03:03:03.500"},
      {photoshop + " " + iptc + " " + digitized, "2024-04-04 00:00:00.000?"},
      {iptc + " " + digitized + " " + later, "2025-05-05 05:05:05.000?"},
      {"Iptc.DateCreated=20250505 " + digitized, "2025-05-05 00:00:00.000?"},
      {digitized + " " + later, "2026-06-06 06:06:06.060"},
      {later, "2027-07-07 07:07:07.000?"},
      {xmpCreate + " " + datetime, "2028-08-08 08:08:00.000?"},
      {datetime, "2029-09-09 09:09:09.999"},
      // Sub-seconds belong to their own tag; a source that does not parse gives way.
      {"original='2021:01:01 01:01:01' subsec=5", "2021-01-01 01:01:01.000?"},
      {"Xmp.exif.DateTimeOriginal=yesterday " + datetime, "2029-09-09 09:09:09.999"},
  };
  testing::TempDir t;
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < std::size(cases); ++i)
    lines.push_back("'" + t.file(std::to_string(i) + ".jpg") + "' jpeg " + cases[i].dates);
  makePhotos(lines);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    LocalTime taken;
    ASSERT_EQ(readPhotoDate(t.file(std::to_string(i) + ".jpg"), taken), PhotoDateRead::Found)
        << cases[i].dates;
    EXPECT_EQ(shown(taken), cases[i].read) << cases[i].dates;
  }
}

// A CRW's capture time is the camera's clock, whatever zone the machine is in.
TEST(PhotoDate, CrwTimeIsTheCameraClock) {
  testing::TempDir t;
  makePhotos(
      {"'" + t.file("a.crw") + "' crw original='2021:05:06 07:08:09'", "'" + t.file("none.crw") + "' crw"});
  std::ifstream in(t.file("a.crw"), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  const char* const was = std::getenv("TZ");
  const std::string before = was ? was : "";
  for (const char* zone : {"Asia/Shanghai", "America/New_York", "UTC"}) {
    setenv("TZ", zone, 1);
    tzset();
    LocalTime taken;
    EXPECT_EQ(readPhotoDate(t.file("a.crw"), taken), PhotoDateRead::Found) << zone;
    EXPECT_EQ(shown(taken), "2021-05-06 07:08:09.000?") << zone;
  }
  if (was) {
    setenv("TZ", before.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
  LocalTime taken;
  EXPECT_EQ(readPhotoDate(t.file("none.crw"), taken), PhotoDateRead::NoDate);
  // Its heap cut short, or its table pointing past the end.
  std::string far = bytes;
  far[far.size() - 4] = '\x7f';
  for (const std::string& damaged : {bytes.substr(0, bytes.size() - 6), far})
    EXPECT_EQ(readPhotoDate(t.write("damaged.crw", damaged), taken), PhotoDateRead::NoDate);
}

// A burst in one second named and sorted by its sub-seconds, not by list order.
TEST(PhotoDate, BurstsNameAndSortByTheirSubSeconds) {
  testing::TempDir home, t;
  const std::string second = "original='2021:05:06 07:08:09' ";
  makePhotos({"'" + t.file("a.jpg") + "' jpeg " + second + "subsecoriginal=30",
              "'" + t.file("b.jpg") + "' jpeg " + second + "subsecoriginal=10",
              "'" + t.file("c.jpg") + "' jpeg " + second + "subsecoriginal=2",
              "'" + t.file("d.jpg") + "' jpeg " + second});
  session::Session s(session::Places::in(home.dir()));
  s.addFolder(t.dir());
  rules::DateOptions o;
  o.source = rules::DateSource::Taken;
  const filelist::FileList& l = s.list();
  const auto column = [&](bool newNames) {
    std::vector<std::string> out;
    for (int r = 0; r < l.rowCount(); ++r) out.emplace_back(newNames ? l[r].newName : l[r].oldName);
    return out;
  };
  using V = std::vector<std::string>;
  s.setRule(o);
  s.applyRule(l.rowCount());
  // d keeps no sub-seconds: the start of its second, first.
  EXPECT_EQ(column(true), (V{"2021-05-06_070809_3.jpg", "2021-05-06_070809_1.jpg", "2021-05-06_070809_2.jpg",
                             "2021-05-06_070809.jpg"}));
  o.format = "HHmmss.zzz z";
  s.setRule(o);
  s.applyRule(l.rowCount());
  EXPECT_EQ(column(true),
            (V{"070809.300 3.jpg", "070809.100 1.jpg", "070809.200 2.jpg", "070809.000 0.jpg"}));
  s.sortByFile(session::SortKey::Taken);
  EXPECT_EQ(column(false), (V{"d.jpg", "b.jpg", "c.jpg", "a.jpg"}));
}

TEST(PhotoDate, RuleAndSortUseTheDateTaken) {
  testing::TempDir home, t;
  // A burst of three in one second, one earlier, and one without EXIF.
  makePhotos({"'" + t.file("a.jpg") + "' jpeg original='2021:05:06 07:08:09'",
              "'" + t.file("b.jpg") + "' jpeg original='2021:05:06 07:08:09'",
              "'" + t.file("c.jpg") + "' jpeg original='2021:05:06 07:08:09'",
              "'" + t.file("d.heic") + "' heic original='2001:01:01 00:00:00'",
              "'" + t.file("e.png") + "' png"});
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
  EXPECT_EQ(l[4].proposalProblem, codes::NoDateTaken);
  EXPECT_EQ(l[0].proposalProblem, filelist::Outcome{});
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
      EXPECT_EQ(list[i].proposalProblem, codes::NoDateTaken);
      continue;
    }
    char day[8];
    std::snprintf(day, sizeof day, "%02d", i % 28 + 1);
    EXPECT_EQ(list[i].newName.substr(0, 2), day) << i;
  }
  EXPECT_EQ(list[kPhotos].proposalProblem, codes::Unreadable);
}

}  // namespace
}  // namespace qorin::tags
