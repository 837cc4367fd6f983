// SPDX-License-Identifier: GPL-3.0-or-later
// Recording dates of videos, from files tools/video_fixtures.py makes with ffmpeg.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "outcome_codes.h"
#include "rules/date_rule.h"
#include "session/session.h"
#include "tags/photo_date.h"
#include "tags/video_date.h"
#include "temp_dir.h"

namespace qorin::tags {
namespace {

using platform::LocalTime;

// 2021-05-06 07:08:09 UTC, as the fixtures' creation time says.
constexpr std::int64_t kCreated = 1620284889;

// A clock eight hours ahead of UTC, so a time read in UTC and one read as
// written differ, whatever the machine's zone.
class ZoneAhead : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
    setenv("TZ", "CST-8", 1);
    tzset();
  }
  void TearDown() override {
    if (saved_.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", saved_.c_str(), 1);
    }
    tzset();
  }
  std::string saved_;
};

// The videos are made once for the tests of a process.
class VideoDate : public ZoneAhead {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<testing::TempDir>();
    const std::string python = std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const std::string cmd = python + " " QORIN_TOOLS_DIR "/video_fixtures.py '" + dir_->dir() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  static void TearDownTestSuite() { dir_.reset(); }
  static std::string file(const std::string& name) { return dir_->file(name); }

  static std::unique_ptr<testing::TempDir> dir_;
};
std::unique_ptr<testing::TempDir> VideoDate::dir_;

TEST_F(VideoDate, EachContainerGivesItsDate) {
  const LocalTime local = *platform::localTime(kCreated);
  ASSERT_EQ(local, (LocalTime{2021, 5, 6, 15, 8, 9}));
  const LocalTime written{2021, 5, 6, 7, 8, 9};
  const struct {
    const char* name;
    PhotoDateRead read;
    LocalTime taken;
  } cases[] = {
      // The creation time is UTC in the file and named in local time.
      {"mov.mov", PhotoDateRead::Found, local},
      {"mp4.mp4", PhotoDateRead::Found, local},
      {"m4v.m4v", PhotoDateRead::Found, local},
      {"3gp.3gp", PhotoDateRead::Found, local},
      {"mkv.mkv", PhotoDateRead::Found, local},
      {"mxf.mxf", PhotoDateRead::Found, local},
      // Apple's own date is named by the clock it states (+02:00), not ours.
      {"apple.mov", PhotoDateRead::Found, {2021, 5, 6, 9, 8, 9}},
      // AVI's IDIT and ICRD are the camera's clock.
      {"idit.avi", PhotoDateRead::Found, written},
      {"icrd.avi", PhotoDateRead::Found, written},
      {"big.avi", PhotoDateRead::Found, written},
      {"cut-frames.avi", PhotoDateRead::Found, written},
      // Dates libavformat does not hand out: ASF's file date (its default
      // demuxer keeps it, the other refuses ffmpeg's files) and DV's
      // recording date packs (only the time code is read); a transport
      // stream's date is the camera's, inside the H.264 stream, which ffmpeg
      // cannot write. They fall back to the modification time.
      {"wmv.wmv", PhotoDateRead::NoDate, {}},
      {"asf.asf", PhotoDateRead::NoDate, {}},
      {"dv.dv", PhotoDateRead::NoDate, {}},
      {"m2ts.m2ts", PhotoDateRead::NoDate, {}},
      {"mts.mts", PhotoDateRead::NoDate, {}},
      // Damaged and cut before the header: no date, never a crash.
      {"cut.mp4", PhotoDateRead::NoDate, {}},
      {"damaged.mp4", PhotoDateRead::NoDate, {}},
      {"cut-header.avi", PhotoDateRead::NoDate, {}},
      {"damaged.avi", PhotoDateRead::NoDate, {}},
      {"missing.mp4", PhotoDateRead::Unreadable, {}},
      // A video under a photo's name is told by its bytes: exiv2 would hang on it.
      {"big.jpg", PhotoDateRead::Found, written},
  };
  std::filesystem::copy_file(file("big.avi"), file("big.jpg"),
                             std::filesystem::copy_options::overwrite_existing);
  for (const auto& c : cases) {
    LocalTime taken;
    EXPECT_EQ(readPhotoDate(file(c.name), taken), c.read) << c.name;
    if (c.read == PhotoDateRead::Found) {
      EXPECT_EQ(taken, c.taken) << c.name;
    }
  }
}

TEST(VideoSniff, ContainersByTheirFirstBytes) {
  const std::string ts = "G" + std::string(187, '\xff') + "G" + std::string(11, '\0');
  const struct {
    std::string head;
    bool video;
  } cases[] = {
      {std::string("\0\0\0\x18"
                   "ftypisom",
                   12),
       true},
      {std::string("\0\0\0\x18"
                   "ftypqt  ",
                   12),
       true},
      {std::string("\0\0\0\x18"
                   "ftypheic",
                   12),
       false},  // a HEIF photo
      {std::string("\0\0\0\x18"
                   "ftypcrx ",
                   12),
       false},  // Canon CR3
      {std::string("\0\0\0\x08"
                   "mdat",
                   8),
       true},
      {std::string("RIFF\x10\0\0\0AVI LIST", 16), true},
      {std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), false},
      {"\x1a\x45\xdf\xa3", true},
      {ts, true},
      {"\xff\xd8\xff\xe1", false},  // JPEG
      {"GIF89a", false},
  };
  for (const auto& c : cases) EXPECT_EQ(looksLikeVideo(c.head), c.video) << c.head.substr(0, 12);
}

TEST_F(ZoneAhead, VideoDateTexts) {
  const LocalTime local = *platform::localTime(kCreated);
  const struct {
    const char* text;
    std::optional<LocalTime> time;
  } cases[] = {
      {"2021-05-06T07:08:09.000000Z", local},
      {"2021-05-06 07:08:09 UTC", local},
      {"UTC 2021-05-06 07:08:09", local},
      {"2021-05-06T09:08:09+0200", LocalTime{2021, 5, 6, 9, 8, 9}},
      {"2021-05-06 07:08:09", LocalTime{2021, 5, 6, 7, 8, 9}},
      {"1904-01-01T00:00:00.000000Z", std::nullopt},  // an unset QuickTime time
      {"1970-01-01T00:00:00.000000Z", std::nullopt},
      {"2021-05-06", std::nullopt},
      {"2021-13-06 07:08:09", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseVideoDate(c.text), c.time) << c.text;
}

TEST_F(VideoDate, RuleNamesVideosAndPhotosAlike) {
  testing::TempDir home, t;
  std::filesystem::copy_file(file("mp4.mp4"), t.file("a.mp4"));
  std::filesystem::copy_file(file("damaged.mp4"), t.file("b.mp4"));
  session::Session s(session::Places::in(home.dir()));
  s.addFolder(t.dir());
  rules::DateOptions o;
  o.source = rules::DateSource::Taken;
  s.setRule(o);
  s.applyRule(s.list().rowCount());
  const filelist::FileList& l = s.list();
  EXPECT_EQ(l[0].newName, "2021-05-06_150809.mp4");
  EXPECT_EQ(l[0].proposalProblem, filelist::Outcome{});
  EXPECT_EQ(l[1].proposalProblem, codes::NoDateTaken);
}

}  // namespace
}  // namespace qorin::tags
