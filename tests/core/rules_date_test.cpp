// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <utility>

#include "outcome_codes.h"
#include "platform/fs.h"
#include "rules/date_rule.h"
#include "session/messages.h"
#include "session/session.h"
#include "temp_dir.h"
#include "text/gbtext.h"

namespace qorin::rules {
namespace {

using filelist::FileList;
using filelist::Outcome;

// Seconds since 1970 of a local clock reading, by the C library.
std::time_t localSeconds(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

void setModified(const std::string& path, std::time_t t) {
  const auto sys = std::chrono::system_clock::from_time_t(t);
  std::filesystem::last_write_time(testing::fromUtf8(path), std::chrono::file_clock::from_sys(sys));
}

TEST(DateFormat, LettersBecomePartsAndEverythingElseStays) {
  const platform::LocalTime t{2021, 5, 6, 7, 8, 9};
  const struct {
    const char* format;
    std::string expected;
  } cases[] = {
      {"yyyy-MM-dd_HHmmss", "2021-05-06_070809"},
      {"yy.MM.dd HH-mm-ss", "21.05.06 07-08-09"},
      {"IMG_yyyyMMdd", "IMG_20210506"},
      {"yyyyy ddd M d h", "2021y 06d M d h"},  // longest letters first; single ones are text
      {"yyyy年MM月dd日", text::gb("2021年05月06日")},
      // 丮 ends in the byte of "M": walked as a character it stays whole.
      {"丮MM", text::gb("丮05")},
  };
  for (const auto& c : cases) EXPECT_EQ(formatDate(text::gb(c.format), t), c.expected) << c.format;
}

// z and zzz as Qt 6 writes them: "zzz" takes three letters, else each z is
// the fraction without its trailing zeros; unknown milliseconds are 0.
TEST(DateFormat, Milliseconds) {
  const struct {
    int ms;
    const char* format;
    const char* expected;
  } cases[] = {{120, "ss.zzz", "09.120"}, {120, "ss.z", "09.12"},   {5, "z", "005"},
               {500, "z zz", "5 55"},     {0, "z|zzz", "0|000"},    {-1, "zzz z", "000 0"},
               {120, "zzzz", "12012"},    {999, "zzzzzz", "999999"}};
  for (const auto& c : cases) {
    platform::LocalTime t{2021, 5, 6, 7, 8, 9};
    t.millisecond = c.ms;
    EXPECT_EQ(formatDate(c.format, t), c.expected) << c.format << " " << c.ms;
  }
}

struct RuleFiles {
  testing::TempDir t;
  FileList list;
  void add(const std::string& name, std::time_t modified, const std::string& sub = "") {
    if (!sub.empty()) std::filesystem::create_directories(t.path() / sub);
    const std::string rel = sub.empty() ? name : sub + "/" + name;
    const std::string path = t.write(rel, "x");
    setModified(path, modified);
    list.addName(name);
    list.fillRows(filelist::kFillAppend | filelist::kFillDirectory, list.fileCount() - 1,
                  list.fileCount() - 1, sub.empty() ? t.dir() : t.dir() + sub + "/");
  }
  std::vector<std::string> newNames() const {
    std::vector<std::string> out;
    for (int r = 0; r < list.rowCount(); ++r) out.emplace_back(list[r].newName);
    return out;
  }
};

TEST(DateRule, PlacesSeparatorAndExtension) {
  const std::time_t when = localSeconds(2020, 3, 4, 12, 0, 5);
  const struct {
    DatePlace place;
    const char* separator;
    const char* format;
    std::vector<std::string> expected;
  } cases[] = {
      {DatePlace::Replace,
       "_",
       "yyyy-MM-dd_HHmmss",
       {"2020-03-04_120005.JPG", "2020-03-04_120005", "2020-03-04_120005.gz"}},
      {DatePlace::Before, "_", "yyyyMMdd", {"20200304_photo.JPG", "20200304_README", "20200304_a.tar.gz"}},
      {DatePlace::After,
       " - ",
       "yyyyMMdd",
       {"photo - 20200304.JPG", "README - 20200304", "a.tar - 20200304.gz"}},
      // The date's own characters that no name may hold are replaced (替换非法字符).
      {DatePlace::Replace, "_", "HH:mm", {"12_00.JPG", "12_00", "12_00.gz"}},
  };
  for (const auto& c : cases) {
    RuleFiles f;
    for (const char* n : {"photo.JPG", "README", "a.tar.gz"}) f.add(n, when);
    DateOptions o;
    o.place = c.place;
    o.separator = c.separator;
    o.format = c.format;
    dateRule(f.list, o);
    EXPECT_EQ(f.newNames(), c.expected) << c.format << " " << c.separator;
    for (int r = 0; r < f.list.rowCount(); ++r) EXPECT_EQ(f.list[r].proposalProblem, Outcome{});
  }
}

TEST(DateRule, SameNamesInAFolderAreNumberedInListOrder) {
  RuleFiles f;
  const std::time_t burst = localSeconds(2022, 8, 9, 10, 11, 12);
  for (const char* n : {"b.jpg", "a.jpg", "c.JPG", "d.jpg"}) f.add(n, burst);
  f.add("e.jpg", burst, "other");                        // another folder: no clash
  f.add("f.jpg", localSeconds(2022, 8, 9, 10, 11, 13));  // one second later
  DateOptions o;
  o.format = "yyyyMMdd_HHmmss";
  dateRule(f.list, o);
  // .JPG meets .jpg: a FAT card takes them as one name.
  EXPECT_EQ(f.newNames(), (std::vector<std::string>{"20220809_101112.jpg", "20220809_101112_1.jpg",
                                                    "20220809_101112_2.JPG", "20220809_101112_3.jpg",
                                                    "20220809_101112.jpg", "20220809_101113.jpg"}));
  // A run again after the pass's names would stay as they are: the same numbers.
  dateRule(f.list, o);
  EXPECT_EQ(f.newNames()[3], "20220809_101112_3.jpg");
}

// File times keep their milliseconds: files of one second are told apart
// and numbered in the order they were written, whatever the list's order.
TEST(DateRule, FileTimesNumberByTheirMilliseconds) {
#ifdef _WIN32
  GTEST_SKIP() << "file times are read to the millisecond on POSIX only";
#endif
  RuleFiles f;
  const auto second = std::chrono::system_clock::from_time_t(localSeconds(2022, 8, 9, 10, 11, 12));
  const std::pair<const char*, int> written[] = {{"a.jpg", 900}, {"b.jpg", 250}, {"c.jpg", 250}};
  for (const auto& [name, ms] : written) {
    f.add(name, 0);
    std::filesystem::last_write_time(
        f.t.path() / name, std::chrono::file_clock::from_sys(second + std::chrono::milliseconds(ms)));
  }
  DateOptions o;
  o.format = "HHmmss";
  dateRule(f.list, o);
  EXPECT_EQ(f.newNames(), (std::vector<std::string>{"101112_2.jpg", "101112.jpg", "101112_1.jpg"}));
  o.format = "HHmmss-zzz";
  dateRule(f.list, o);
  EXPECT_EQ(f.newNames(), (std::vector<std::string>{"101112-900.jpg", "101112-250.jpg", "101112-250_1.jpg"}));
}

TEST(DateRule, SourcesFallBackToTheModificationTimeWithANote) {
  RuleFiles f;
  const std::time_t when = localSeconds(2019, 12, 31, 23, 59, 58);
  f.add("a.png", when);
  f.list.addName("gone.jpg");
  f.list.fillRows(filelist::kFillAppend | filelist::kFillDirectory, 1, 1, f.t.dir());
  DateOptions o;
  o.format = "yyyy-MM-dd HHmmss";

  o.source = DateSource::Modified;
  dateRule(f.list, o);
  EXPECT_EQ(f.list[0].newName, "2019-12-31 235958.png");
  EXPECT_EQ(f.list[0].proposalProblem, Outcome{});
  EXPECT_EQ(f.list[1].proposalProblem, codes::Unreadable);  // nothing to name it by
  EXPECT_TRUE(f.list[1].newName.empty());

  o.source = DateSource::Taken;  // a file without EXIF
  dateRule(f.list, o);
  EXPECT_EQ(f.list[0].newName, "2019-12-31 235958.png");
  EXPECT_EQ(f.list[0].proposalProblem, codes::NoDateTaken);
  EXPECT_EQ(session::reasonText(codes::NoDateTaken, 0), text::gb("没有拍摄时间，用了修改时间"));

  o.source = DateSource::Created;
  dateRule(f.list, o);
  const auto times = platform::fileTimes(f.t.file("a.png"));
  ASSERT_TRUE(times);
  if (times->created) {
    const auto born = platform::localTime(*times->created / 1000000000);
    EXPECT_EQ(f.list[0].newName, formatDate(o.format, *born) + ".png");
    EXPECT_EQ(f.list[0].proposalProblem, Outcome{});
  } else {
    EXPECT_EQ(f.list[0].newName, "2019-12-31 235958.png");
    EXPECT_EQ(f.list[0].proposalProblem, codes::NoBirthTime);
    EXPECT_EQ(session::reasonText(codes::NoBirthTime, 0), text::gb("没有创建时间，用了修改时间"));
  }
  // A note does not stop the proposal.
  EXPECT_FALSE(codes::NoDateTaken.failed());
  EXPECT_EQ(f.list.proposalFailure(0), Outcome{});
}

TEST(DateRule, NotedRowsRenameInAPass) {
  testing::TempDir home, t;
  for (const char* n : {"x.png", "y.png"}) setModified(t.write(n, "x"), localSeconds(2018, 1, 2, 3, 4, 5));
  session::Session s(session::Places::in(home.dir()));
  s.addFolder(t.dir());
  DateOptions o;
  o.source = DateSource::Taken;
  o.format = "yyyyMMdd";
  s.setRule(o);
  const session::PassReport r = s.renameAll();
  EXPECT_EQ(r.succeeded, 2);
  EXPECT_TRUE(std::filesystem::exists(t.path() / "20180102.png"));
  EXPECT_TRUE(std::filesystem::exists(t.path() / "20180102_1.png"));
}

TEST(SortByFile, KeysAreStableAndReverseTurnsTheList) {
  testing::TempDir home, t;
  // name, size, modified (seconds after a base)
  const struct {
    const char* name;
    int size;
    int later;
  } files[] = {{"a.txt", 3, 20}, {"b.txt", 1, 10},  {"c.txt", 3, 10},
               {"d.txt", 2, 30}, {"e10.txt", 0, 0}, {"e9.txt", 0, 0}};
  const std::time_t base = localSeconds(2021, 1, 1, 0, 0, 0);
  for (const auto& f : files)
    setModified(t.write(f.name, std::string(static_cast<std::size_t>(f.size), 'x')), base + f.later);
  session::Session s(session::Places::in(home.dir()));
  s.addFolder(t.dir());
  const auto names = [&] {
    std::vector<std::string> out;
    for (int r = 0; r < s.list().rowCount(); ++r) out.emplace_back(s.list()[r].oldName);
    return out;
  };
  using V = std::vector<std::string>;
  s.sortByFile(session::SortKey::Size);
  EXPECT_EQ(names(), (V{"e9.txt", "e10.txt", "b.txt", "d.txt", "a.txt", "c.txt"}));
  s.sortByFile(session::SortKey::Modified);  // ties keep the order of the size sort
  EXPECT_EQ(names(), (V{"e9.txt", "e10.txt", "b.txt", "c.txt", "a.txt", "d.txt"}));
  s.sortByFile(session::SortKey::Taken);  // no EXIF: the modification time, to the second
  EXPECT_EQ(names(), (V{"e9.txt", "e10.txt", "b.txt", "c.txt", "a.txt", "d.txt"}));
  s.reverseRows();
  EXPECT_EQ(names(), (V{"d.txt", "a.txt", "c.txt", "b.txt", "e10.txt", "e9.txt"}));
  s.sortByFile(session::SortKey::Name);
  EXPECT_EQ(names(), (V{"a.txt", "b.txt", "c.txt", "d.txt", "e9.txt", "e10.txt"}));
  // The facts moved with their rows: a size sort again needs nothing new.
  std::filesystem::remove(t.path() / "a.txt");
  s.sortByFile(session::SortKey::Size);
  EXPECT_EQ(names(), (V{"e9.txt", "e10.txt", "b.txt", "d.txt", "a.txt", "c.txt"}));
}

}  // namespace
}  // namespace qorin::rules
