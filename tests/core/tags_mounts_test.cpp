// SPDX-License-Identifier: GPL-3.0-or-later
// Tag writes on removable and shared storage: exFAT, FAT and NTFS images
// mounted through FUSE. None takes O_TMPFILE, FAT refuses chown and chmod,
// and a file renamed over while still open lives on as ".fuse_hidden...".
#ifdef __linux__
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "fuse_image.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/syncsafe.h"
#include "tags_test_util.h"

namespace qorin::tags {
namespace {

namespace fuse = qorin::testing;
namespace stdfs = std::filesystem;
using tagtest::readBytes;
using tagtest::writeBytes;

struct Mount {
  const fuse::FuseKind* kind;
  const char* check;  // checks the unmounted image without changing it
};

void PrintTo(const Mount& m, std::ostream* os) { *os << m.kind->name; }

const Mount kMounts[] = {
    {&fuse::kExfat, "fsck.exfat -n"},
    {&fuse::kFat, "fsck.fat -n"},
    {&fuse::kNtfs, "ntfsfix -n"},
};

class TagsOnMount : public ::testing::TestWithParam<Mount> {
 protected:
  void SetUp() override {
    stdfs::create_directory(music_);
    image_ = std::make_unique<fuse::FuseImage>(*GetParam().kind, image(), music_);
    if (!image_->mounted()) GTEST_SKIP() << image_->skipReason();
    song_ = (music_ / "song.mp3").string();
  }

  // The image must check clean: fusefat, written through a handle whose file
  // was renamed since, leaves two directory entries for one file.
  void TearDown() override {
    if (!image_ || !image_->mounted()) return;
    ASSERT_TRUE(image_->unmount());
    const std::string check = GetParam().check;
    if (fuse::FuseImage::run("command -v " + check.substr(0, check.find(' ')))) {
      EXPECT_TRUE(fuse::FuseImage::run(check + " '" + image().string() + "'")) << check;
    }
  }

  stdfs::path image() const { return root_.path() / "fs.img"; }

  std::set<std::string> names() const {
    std::set<std::string> out;
    for (const auto& e : stdfs::directory_iterator(music_)) out.insert(e.path().filename().string());
    return out;
  }

  // The bytes between the ID3v2 tag and the ID3v1 block.
  static std::string audioOf(const std::string& bytes) {
    std::size_t from = 0, to = bytes.size();
    if (bytes.compare(0, 3, "ID3") == 0)
      from = kId3v2HeaderSize + decodeSyncSafe(bytes.substr(kId3v2SizeAt, 4)).value_or(0);
    if (to >= kId3v1Size && bytes.compare(to - kId3v1Size, 3, "TAG") == 0) to -= kId3v1Size;
    return from <= to ? bytes.substr(from, to - from) : std::string();
  }

  fuse::TempDir root_;
  stdfs::path music_ = root_.path() / "music";
  std::unique_ptr<fuse::FuseImage> image_;
  std::string song_;
  const std::string audio_ = tagtest::fakeAudio(300000);
};

// The editor's way: ID3v1 then ID3v2 on one open file. Without a folder for
// backups, so a write that fell back to rewriting in place would fail.
TEST_P(TagsOnMount, EditorWriteKeepsAudioOwnerAndModeAndLeavesOnlyTheFile) {
  TagFields old;
  old[kTitle] = "Old title";
  old[kArtist] = "Someone";
  writeBytes(song_, buildId3v2Tag(old) + audio_ + buildId3v1Block("Old title", "Someone", "", "1999", ""));
  struct stat before {};
  ASSERT_EQ(::stat(song_.c_str(), &before), 0);

  platform::OpenFile file(song_, platform::OpenMode::ReadWrite);
  ASSERT_TRUE(file.isWritable());
  EXPECT_TRUE(writeId3v1(file, "New title", "Someone else", "An album", "2024", "a note", "7", 17));
  TagFields fields = old;
  fields[kTitle] = "A new and much longer title";
  const WriteResult v2 = writeId3v2(file, fields);
  EXPECT_TRUE(v2) << static_cast<int>(v2.failure);
  file.close();

  EXPECT_EQ(names(), std::set<std::string>{"song.mp3"});
  struct stat after {};
  ASSERT_EQ(::stat(song_.c_str(), &after), 0);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_TRUE(audioOf(readBytes(song_)) == audio_);

  platform::OpenFile back(song_, platform::OpenMode::Read);
  TagFields got2, got1;
  ASSERT_TRUE(readId3v2(back, got2));
  EXPECT_EQ(got2[kTitle], "A new and much longer title");
  EXPECT_EQ(got2[kArtist], "Someone");
  ASSERT_TRUE(readId3v1(back, got1));
  const std::pair<int, const char*> v1[] = {{kTitle, "New title"}, {kArtist, "Someone else"},
                                            {kAlbum, "An album"},  {kYear, "2024"},
                                            {kComment, "a note"},  {kTrack, "7"},
                                            {kGenre, "17"}};
  for (const auto& [slot, text] : v1) EXPECT_EQ(got1[slot], text) << "ID3v1 slot " << slot;
}

// Tags put on bare audio and taken off again give back exactly the audio.
TEST_P(TagsOnMount, TagsAddedAndRemovedGiveBackTheAudio) {
  writeBytes(song_, audio_);
  {
    platform::OpenFile file(song_, platform::OpenMode::ReadWrite);
    TagFields fields;
    fields[kTitle] = "Title";
    EXPECT_TRUE(writeId3v2(file, fields));
    EXPECT_TRUE(writeId3v1(file, "Title", "", "", "", "", "", 0));
  }
  const std::string tagged = readBytes(song_);
  EXPECT_GT(tagged.size(), audio_.size() + kId3v1Size);
  EXPECT_TRUE(audioOf(tagged) == audio_);
  EXPECT_EQ(names(), std::set<std::string>{"song.mp3"});
  {
    platform::OpenFile file(song_, platform::OpenMode::ReadWrite);
    EXPECT_TRUE(deleteId3v2(file));
    EXPECT_TRUE(deleteId3v1(file));
  }
  EXPECT_TRUE(readBytes(song_) == audio_);
  EXPECT_EQ(names(), std::set<std::string>{"song.mp3"});
}

INSTANTIATE_TEST_SUITE_P(Fuse, TagsOnMount, ::testing::ValuesIn(kMounts),
                         [](const auto& info) { return std::string(info.param.kind->name); });

}  // namespace
}  // namespace qorin::tags
#endif
