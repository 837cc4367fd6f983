// SPDX-License-Identifier: GPL-3.0-or-later
// The words of the core's outcomes: every code has one, and the summaries
// count as the message boxes always have.
#include <gtest/gtest.h>

#include <cerrno>

#include "outcome_codes.h"
#include "platform/fs.h"
#include "session/messages.h"
#include "tags/id3v2_unicode.h"
#include "tags/tag_reader.h"
#include "text/gbtext.h"

namespace qorin::session {
namespace {

using filelist::Outcome;
using text::gb;
using Kind = PassReport::Kind;

TEST(Messages, ReasonTexts) {
  const struct {
    Outcome reason;
    std::int32_t detail;
    std::string text;
  } cases[] = {
      {Outcome{}, 0, ""},
      {codes::Unchanged, 0, ""},
      {codes::SameAsEarlier, 12, gb("与第12行的新文件名相同")},
      {codes::TargetExists, 0, gb("目标文件已存在")},
      {codes::IllegalName, 0, gb("文件名含有非法字符")},
      {codes::NameTooLong, 0, gb("文件名过长")},
      {codes::EmptyName, 0, gb("文件名为空")},
      {codes::SourceMissing, 0, gb("原文件不存在")},
      {codes::Unreadable, 0, gb("无法读取文件")},
      {codes::SameFileAsEarlier, 3, gb("与第3行是同一个文件")},
      {codes::FolderChanged, 0, gb("目录已被更改")},
      {codes::ChangedByOther, 0, gb("文件已被别的程序改动")},
      {codes::NoTag, 0, gb("没有标签")},
      {codes::UnsupportedFormat, 0, gb("不支持的文件格式")},
      {codes::ReadTimedOut, 0, gb("无法读取文件：读取超时")},
      {codes::ReaderCrashed, 0, gb("无法读取文件：文件已损坏")},
      {codes::NameEncodingUnknown, 0, gb("文件名编码无法确定")},
      {codes::Stopped, 0, gb("已停止")},
      {{filelist::Severity::Fail, filelist::Producer::TagWrite, 2}, 0, gb("ID3v2标签的长度超出文件")},
  };
  for (const auto& c : cases) EXPECT_EQ(reasonText(c.reason, c.detail), c.text) << c.text;
  EXPECT_EQ(reasonText(codes::SystemError, EACCES), platform::errorText(EACCES));
  EXPECT_FALSE(reasonText(codes::SystemError, EACCES).empty());
}

TEST(Messages, EveryCodeHasAText) {
  using filelist::Producer;
  const struct {
    Producer producer;
    unsigned first, end;  // the codes with words
  } producers[] = {
      {Producer::List, 0, static_cast<unsigned>(filelist::ListCode::kCount)},
      {Producer::Rule, 0, static_cast<unsigned>(rules::RuleCode::kCount)},
      {Producer::Rename, 1, static_cast<unsigned>(rename::RenameCode::kCount)},  // after Unchanged
      {Producer::TagWrite, 1, static_cast<unsigned>(tags::ConversionProblem::NotFullyRead) + 1},
  };
  for (const auto& p : producers)
    for (unsigned c = p.first; c < p.end; ++c)
      EXPECT_FALSE(reasonText({filelist::Severity::Fail, p.producer, c}, 1).empty()) << c;
  for (int s = 1; s <= static_cast<int>(filelist::Status::NameConverted); ++s)
    EXPECT_FALSE(statusText(static_cast<filelist::Status>(s)).empty()) << s;
  EXPECT_EQ(mp3StatusText(filelist::Mp3Status::NotMp3), gb("非MP3文件"));
  EXPECT_EQ(mp3StatusText(filelist::Mp3Status::NoTag), gb("无标签"));
  EXPECT_EQ(mp3StatusText(filelist::Mp3Status::TextChunks), gb("文本块"));
  const struct {
    tags::TagKind kind;
    const char* text;
  } families[] = {{tags::TagKind::Id3, ""},           {tags::TagKind::Vorbis, "Vorbis注释"},
                  {tags::TagKind::Mp4, "MP4标签"},    {tags::TagKind::Ape, "APE标签"},
                  {tags::TagKind::Asf, "ASF标签"},    {tags::TagKind::Id3Chunk, "ID3标签"},
                  {tags::TagKind::Module, "模块标签"}};
  for (const auto& f : families)
    EXPECT_EQ(mp3StatusText(filelist::taggedWith(static_cast<unsigned>(f.kind))), gb(f.text)) << f.text;
  for (int s = 1; s < static_cast<int>(filelist::Mp3Status::kTagged); ++s)
    EXPECT_FALSE(mp3StatusText(static_cast<filelist::Mp3Status>(s)).empty()) << s;
  for (int p = 1; p <= static_cast<int>(Problem::FolderLockFailed); ++p) {
    PassReport r;
    r.problem = static_cast<Problem>(p);
    EXPECT_FALSE(reportText(r).empty()) << p;
    EXPECT_FALSE(r.allSucceeded());
  }
  for (int f = 1; f < static_cast<int>(tags::WriteFailure::Other); ++f)
    EXPECT_FALSE(writeFailureText(static_cast<tags::WriteFailure>(f)).empty()) << f;
}

TEST(Messages, Summaries) {
  const auto report = [](Kind kind, int total, int succeeded, int stopped, int unchanged = 0) {
    PassReport r;
    r.kind = kind;
    r.unchanged = unchanged;
    r.total = total;
    r.succeeded = succeeded;
    r.stopped = stopped;
    return r;
  };
  const struct {
    PassReport report;
    bool allSucceeded;
    const char* text;
  } cases[] = {
      {report(Kind::Rename, 10, 10, 0), true, "文件更名完毕！"},
      {report(Kind::Rename, 0, 0, 0), true, "文件更名完毕！"},
      {report(Kind::Rename, 10, 7, 0), false,
       "文件总数：10 个文件\r\n\r\n7 个文件更名成功！\r\n3 个文件更名失败！"},
      {report(Kind::Rename, 10, 4, 5), false,
       "文件总数：10 个文件\r\n\r\n4 个文件更名成功！\r\n1 个文件更名失败！\r\n5 个文件因停止而未更名。"},
      // Names already as proposed are not counted as renamed.
      {report(Kind::Rename, 3, 3, 0, 1), true, "文件更名完毕！\r\n1 个文件名称不变。"},
      {report(Kind::Rename, 4, 3, 0, 2), false,
       "文件总数：4 个文件\r\n\r\n1 个文件更名成功！\r\n1 个文件更名失败！\r\n2 个文件名称不变。"},
      {report(Kind::Undo, 6, 6, 0), true, "上一次的操作已经成功撤消！"},
      {report(Kind::Undo, 6, 2, 4), false,
       "文件总数：6 个文件\r\n\r\n2 个文件撤消成功！\r\n0 个文件撤消失败！\r\n4 个文件因停止而未撤消。"},
      {report(Kind::NothingToUndo, 0, 0, 0), true, "没有需要撤消的文件。"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reportText(c.report), gb(c.text)) << c.text;
    EXPECT_EQ(c.report.allSucceeded(), c.allSucceeded) << c.text;
  }

  PassReport repair = report(Kind::TagRepair, 7, 5, 0);
  repair.converted = 4;
  repair.failed = repair.uncertain = 1;
  EXPECT_EQ(reportText(repair),
            gb("文件总数：7 个MP3文件\r\n\r\n4 个文件已转换，1 个文件无需转换，1 个文件转换失败。"
               "\r\n1 个文件编码无法确定，没有转换。"));

  PassReport unwritten = report(Kind::Rename, 2, 2, 0);
  unwritten.recordWriteError = ENOSPC;
  EXPECT_FALSE(unwritten.allSucceeded());
  EXPECT_EQ(reportText(unwritten), gb("文件更名完毕！\r\n\r\n更名记录没有写完整：") +
                                       platform::errorText(ENOSPC) +
                                       gb("\r\n撤消仍然可以使用，它会按磁盘上的文件逐个核对。"));

  PassReport cut = report(Kind::Undo, 3, 3, 0);
  cut.unreadable = 2;
  cut.temporaries = {"/m/.qorin-1.tmp"};
  EXPECT_FALSE(cut.allSucceeded());
  EXPECT_EQ(reportText(cut),
            gb("文件总数：5 个文件\r\n\r\n3 个文件撤消成功！\r\n2 "
               "个文件撤消失败！\r\n\r\n更名记录有一部分已损坏：2 "
               "个文件的记录无法读取，这些文件没有恢复原来的名称。\r\n\r\n以下文件留在临时名称：\r\n/m/"
               ".qorin-1.tmp"));

  PassReport aside;
  aside.problem = Problem::RecordRefused;
  aside.movedTo = "/s/journal-1.unusable";
  EXPECT_EQ(reportText(aside), gb("上一次更名的记录含有不可信的文件名或文件夹，无法撤消；没有改动任何文件。"
                                  "\r\n\r\n记录已移到：/s/journal-1.unusable"));
}

}  // namespace
}  // namespace qorin::session
