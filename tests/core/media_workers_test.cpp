// SPDX-License-Identifier: GPL-3.0-or-later
// Dates taken and TagLib's tags read by the media workers: a worker that
// dies or hangs on a file costs that file, one killed from outside is
// started again, and a folder swapped in after listing is not read.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "rules/date_rule.h"
#include "session/messages.h"
#include "session/session.h"
#include "tags/media_workers.h"
#ifdef QORIN_HAVE_TAGLIB
#include "tags/taglib_reader.h"
#endif
#include "outcome_codes.h"
#include "temp_dir.h"
#include "text/gbtext.h"

namespace qorin::tags {
namespace {

using namespace std::chrono_literals;
using filelist::Outcome;
using platform::LocalTime;

constexpr auto kLimit = 300ms;

// One JPEG from tools/photo_fixtures.py, its date text swapped per copy.
class Photos {
 public:
  Photos() {
    const std::string seed = dir_.file("seed.jpg");
    const std::string cmd = "/usr/bin/python3 " QORIN_TOOLS_DIR "/photo_fixtures.py '" + seed +
                            "' jpeg original='2021:05:06 07:08:09'";
    if (std::system(cmd.c_str()) != 0) return;
    std::ifstream in(seed, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
    std::filesystem::remove(seed);
  }
  // A photo taken on day `day` of May 2021.
  MediaFile write(const std::string& name, int day) const {
    std::string b = bytes_;
    char stamp[24];
    std::snprintf(stamp, sizeof stamp, "2021:05:%02d 07:08:09", day);
    b.replace(b.find("2021:05:06 07:08:09"), 19, stamp);
    dir_.write(name, b);
    return {dir_.dir(), {}, false, name};
  }
  const testing::TempDir& dir() const { return dir_; }
  bool made() const { return !bytes_.empty(); }

 private:
  testing::TempDir dir_;
  std::string bytes_;
};

class MediaWorkersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Read by the workers alone: names starting crash- and hang- fault there.
    ::setenv("QORIN_TEST_MEDIA_FAULTS", "1", 1);
    ASSERT_TRUE(photos.made());
  }
  Photos photos;
  MediaWorkers workers{QORIN_MEDIA_PATH, 2, kLimit};
};

TEST_F(MediaWorkersTest, AFileThatKillsOrHangsItsWorkerFailsAloneAndTheRestIsRead) {
  // A short list goes a file a batch; a long one in batches, where the
  // files around the fault in its batch are read again by the next worker.
  const struct {
    int count;
    std::vector<int> crash, hang;
  } lists[] = {{7, {1}, {3, 5}}, {60, {2, 21, 22}, {9, 40}}};
  for (const auto& l : lists) {
    std::vector<MediaFile> files;
    std::vector<MediaFailure> want;
    for (int i = 0; i < l.count; ++i) {
      const bool crash = std::find(l.crash.begin(), l.crash.end(), i) != l.crash.end();
      const bool hang = std::find(l.hang.begin(), l.hang.end(), i) != l.hang.end();
      const std::string name = (crash ? "crash-" : hang ? "hang-" : "") + std::to_string(i) + ".jpg";
      files.push_back(photos.write(name, i % 28 + 1));
      want.push_back(crash ? MediaFailure::Crashed : hang ? MediaFailure::TimedOut : MediaFailure::None);
    }
    std::vector<DateAnswer> out(files.size());
    const auto t0 = std::chrono::steady_clock::now();
    workers.readDates(files, out);
    // Two hangs on two workers: about one limit each, never the 2 s default.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1500ms);
    for (std::size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(out[i].failure, want[i]) << files[i].name << " of " << l.count;
      if (want[i] == MediaFailure::None) {
        EXPECT_EQ(out[i].read, PhotoDateRead::Found) << files[i].name;
        EXPECT_EQ(out[i].taken, (LocalTime{2021, 5, static_cast<int>(i % 28 + 1), 7, 8, 9})) << files[i].name;
      }
    }
  }
}

// The worker reads videos through libavformat as the program does, loaded
// there when its first video comes.
TEST_F(MediaWorkersTest, VideosReadInTheWorkerAsInTheProgram) {
  const std::string cmd =
      "/usr/bin/python3 " QORIN_TOOLS_DIR "/video_fixtures.py '" + photos.dir().dir() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::vector<MediaFile> files;
  for (const char* name : {"mov.mov", "mkv.mkv", "icrd.avi", "big.avi", "cut.mp4", "damaged.avi"})
    files.push_back({photos.dir().dir(), {}, false, name});
  std::vector<DateAnswer> out(files.size());
  // A worker's first video loads libavformat (about 0.2 s, more on a busy
  // machine), counted against that file: no hang is tried here.
  workers.setLimit(5s);
  workers.readDates(files, out);
  for (std::size_t i = 0; i < files.size(); ++i) {
    LocalTime here;
    const PhotoDateRead read = readPhotoDate(photos.dir().file(files[i].name), here);
    EXPECT_EQ(out[i].failure, MediaFailure::None) << files[i].name;
    EXPECT_EQ(out[i].read, read) << files[i].name;
    if (read == PhotoDateRead::Found) {
      EXPECT_EQ(out[i].taken, here) << files[i].name;
    }
  }
  EXPECT_EQ(out[0].read, PhotoDateRead::Found);
}

TEST_F(MediaWorkersTest, WorkersKilledFromOutsideAreStartedAgain) {
  const std::vector<MediaFile> files = {photos.write("a.jpg", 1), photos.write("b.jpg", 2),
                                        photos.write("c.jpg", 3)};
  std::vector<DateAnswer> out(files.size());
  workers.readDates(files, out);
  const std::vector<int> before = workers.pids();
  ASSERT_FALSE(before.empty());
  for (const int pid : before) {
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    siginfo_t info{};
    // Until it has died, left for the workers to reap.
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
  }
  out.assign(files.size(), {});
  workers.readDates(files, out);
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(out[i].failure, MediaFailure::None) << files[i].name;
    EXPECT_EQ(out[i].taken.day, static_cast<int>(i + 1));
  }
  EXPECT_NE(workers.pids(), before);
}

TEST_F(MediaWorkersTest, AStopLeavesTheFilesNotHandedOutUnread) {
  std::vector<MediaFile> files;
  for (int i = 0; i < 6; ++i) files.push_back(photos.write("p" + std::to_string(i) + ".jpg", i + 1));
  std::vector<DateAnswer> out(files.size());
  int asked = 0;
  workers.readDates(files, out, [&] { return ++asked > 2; });
  EXPECT_EQ(out[0].failure, MediaFailure::None);
  EXPECT_EQ(out[1].failure, MediaFailure::None);
  for (std::size_t i = 2; i < files.size(); ++i) EXPECT_EQ(out[i].failure, MediaFailure::Stopped) << i;
}

// The date rule over a listed folder: the rows' reasons, and a folder
// swapped for another under the same path after listing.
TEST_F(MediaWorkersTest, DateRuleRowsFailWithTheWorkersReason) {
  testing::TempDir home;
  const std::filesystem::path sub = photos.dir().path() / "sub";
  std::filesystem::create_directory(sub);
  photos.write("a.jpg", 1);
  photos.write("crash-1.jpg", 2);
  photos.write("hang-1.jpg", 3);
  photos.write("sub/b.jpg", 4);
  session::Session s(session::Places::in(home.dir()));
  s.mediaWorkers().setProgram(QORIN_MEDIA_PATH);
  s.mediaWorkers().setLimit(kLimit);
  s.addFolder(photos.dir().dir());
  s.addFolder(photos.dir().dir() + "sub");
  std::filesystem::rename(sub, photos.dir().path() / "old");
  std::filesystem::create_directory(sub);
  photos.write("sub/b.jpg", 9);
  rules::DateOptions o;
  o.source = rules::DateSource::Taken;
  o.format = "dd";
  s.setRule(o);
  s.markAll();
  const struct {
    const char* name;
    Outcome reason;
    const char* newName;
    const char* words;
  } rows[] = {{"a.jpg", Outcome{}, "01.jpg", ""},
              {"crash-1.jpg", codes::ReaderCrashed, "", "无法读取文件：文件已损坏"},
              {"hang-1.jpg", codes::ReadTimedOut, "", "无法读取文件：读取超时"},
              {"b.jpg", codes::FolderChanged, "", "目录已被更改"}};
  const filelist::FileList& list = s.list();
  ASSERT_EQ(list.fileCount(), 4);
  for (const auto& r : rows) {
    int row = 0;
    while (row < list.fileCount() && list[row].oldName != r.name) ++row;
    ASSERT_LT(row, list.fileCount()) << r.name;
    EXPECT_EQ(list[row].proposalProblem, r.reason) << r.name;
    EXPECT_EQ(list[row].newName, r.newName) << r.name;
    EXPECT_EQ(session::reasonText(r.reason, 0), text::gb(r.words)) << r.name;
  }
}

// Each session reads with workers of its own, and they end with it.
TEST_F(MediaWorkersTest, ASessionsWorkersAreItsOwn) {
  testing::TempDir home;
  photos.write("a.jpg", 1);
  rules::DateOptions o;
  o.source = rules::DateSource::Taken;
  o.format = "dd";
  std::vector<int> first;
  {
    session::Session one(session::Places::in(home.dir())), two(session::Places::in(home.dir()));
    for (session::Session* s : {&one, &two}) {
      s->mediaWorkers().setProgram(QORIN_MEDIA_PATH);
      s->addFolder(photos.dir().dir());
      s->setRule(o);
      ASSERT_TRUE(s->markAll());
      EXPECT_EQ(s->list()[0].newName, "01.jpg");
    }
    first = one.mediaWorkers().pids();
    ASSERT_FALSE(first.empty());
    for (const int pid : two.mediaWorkers().pids())
      EXPECT_EQ(std::count(first.begin(), first.end(), pid), 0) << pid;
  }
  for (const int pid : first) EXPECT_EQ(::kill(pid, 0), -1) << pid;  // killed and reaped
}

#ifdef QORIN_HAVE_TAGLIB
TEST_F(MediaWorkersTest, TagsReadInTheWorkerAsInTheProgram) {
  const testing::TempDir& dir = photos.dir();
  const std::string cmd = "/usr/bin/python3 " QORIN_TOOLS_DIR "/mutagen_audio.py make flac '" +
                          dir.file("a.flac") + "' artist=" + "41" + " title=" + "42";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::filesystem::copy_file(dir.file("a.flac"), dir.file("crash-a.flac"));
  const std::vector<MediaFile> files = {{dir.dir(), {}, false, "a.flac"},
                                        {dir.dir(), {}, false, "crash-a.flac"}};
  std::vector<TagAnswer> out(files.size());
  workers.readTags(files, TagPriority::V2First, out);
  TagFields here;
  ASSERT_EQ(kFlacReader.readForNaming(dir.file("a.flac"), TagPriority::V2First, here), NamingRead::Tagged);
  EXPECT_EQ(out[0].failure, MediaFailure::None);
  EXPECT_EQ(out[0].read, NamingRead::Tagged);
  EXPECT_EQ(out[0].fields, here);
  EXPECT_EQ(here[kArtist], "A");
  EXPECT_EQ(out[1].failure, MediaFailure::Crashed);
}
#endif

}  // namespace
}  // namespace qorin::tags
