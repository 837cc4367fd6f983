// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/messages.h"

#include <cstdio>
#include <iterator>
#include <span>

#include "platform/fs.h"
#include "rename/plan.h"
#include "rules/rule_codes.h"
#include "tags/formats.h"
#include "tags/id3v2_unicode.h"
#include "text/gbtext.h"

namespace qorin::session {

using filelist::Status;

namespace {

// The words of one code: `text`, or with a row number (the detail) between
// `text` and `afterRow`; no text at all: the system's words for the error
// number the detail holds.
struct Words {
  const char* text;
  const char* afterRow = nullptr;
};

// Each producer's table, in the order of its codes.
constexpr Words kListWords[] = {
    {"文件名编码无法确定"},
    {"目录已被更改"},
    {"已停止"},
};
static_assert(std::size(kListWords) == static_cast<std::size_t>(filelist::ListCode::kCount));

constexpr Words kRenameWords[] = {
    {""},  // Unchanged: nothing to say
    {"与第", "行的新文件名相同"},
    {"目标文件已存在"},
    {"文件名含有非法字符"},
    {"文件名过长"},
    {"文件名为空"},
    {"原文件不存在"},
    {"与第", "行是同一个文件"},
    {"文件已被移动或更改"},
    {nullptr},  // SystemError
    {"文件已被别的程序改动"},
};
static_assert(std::size(kRenameWords) == static_cast<std::size_t>(rename::RenameCode::kCount));

constexpr Words kRuleWords[] = {
    {"无法读取文件"},
    {"文件已损坏或不是该格式，无法读取标签"},
    {"正则表达式有误，无法生成新文件名"},
    {"没有拍摄时间，用了修改时间"},
    {"没有创建时间，用了修改时间"},
    {"标签中没有需要的字段"},
    {"没有标签"},
    {"不支持的文件格式"},
    // What the file could not be read for, after the words of Unreadable.
    {"无法读取文件：读取超时"},
    {"无法读取文件：文件已损坏"},
    {"文件名无法按所选方式转换"},
};
static_assert(std::size(kRuleWords) == static_cast<std::size_t>(rules::RuleCode::kCount));

constexpr Words kTagWriteWords[] = {
    {""},  // None
    {"无法读取文件"},
    {"ID3v2标签的长度超出文件"},
    {"文件不能写入"},
    {"文件在转换时被改动"},
    {"写入文件失败"},
    {"ID3v2标签结构无法完整读取，为避免丢失数据没有写入。"},
};
static_assert(std::size(kTagWriteWords) ==
              static_cast<std::size_t>(tags::ConversionProblem::NotFullyRead) + 1);

std::span<const Words> wordsOf(filelist::Producer p) {
  switch (p) {
    case filelist::Producer::None:
      return {};
    case filelist::Producer::List:
      return kListWords;
    case filelist::Producer::Rule:
      return kRuleWords;
    case filelist::Producer::Rename:
      return kRenameWords;
    case filelist::Producer::TagWrite:
      return kTagWriteWords;
  }
  return {};
}

}  // namespace

std::string reasonText(filelist::Outcome reason, std::int32_t detail) {
  const std::span<const Words> table = wordsOf(reason.producer());
  if (reason.code() >= table.size()) return {};
  const Words& w = table[reason.code()];
  if (!w.text) return platform::errorText(detail);
  if (!w.afterRow) return text::gb(w.text);
  return text::gb(w.text) + std::to_string(detail) + text::gb(w.afterRow);
}

const std::string& statusText(Status s) {
  static const std::string texts[] = {{},
                                      text::gb("更名成功"),
                                      text::gb("更名失败"),
                                      text::gb("撤消成功"),
                                      text::gb("撤消失败"),
                                      text::gb("已转为Unicode"),
                                      text::gb("无需转换"),
                                      text::gb("转换失败"),
                                      text::gb("编码无法确定"),
                                      text::gb("已转为UTF-8"),
                                      text::gb("不变")};
  static_assert(std::size(texts) == static_cast<std::size_t>(Status::Unchanged) + 1);
  return texts[static_cast<std::size_t>(s)];
}

const std::string& mp3StatusText(filelist::Mp3Status s) {
  static const std::string texts[] = {{}, text::gb("非MP3文件"), text::gb("无标签"), text::gb("文本块")};
  static_assert(std::size(texts) == static_cast<std::size_t>(filelist::Mp3Status::kTagged));
  // A tag's family as the readers' registry words it, by TagKind.
  static const std::vector<std::string> families = [] {
    std::vector<std::string> out(static_cast<std::size_t>(tags::TagKind::kCount));
    for (const tags::TagFamily& f : tags::tagFamilies())
      out[static_cast<std::size_t>(f.kind)] = text::gb(f.status);
    return out;
  }();
  if (const int family = filelist::familyOf(s); family >= 0)
    return static_cast<std::size_t>(family) < families.size() ? families[static_cast<std::size_t>(family)]
                                                              : texts[0];
  return texts[static_cast<std::size_t>(s)];
}

namespace {

std::string problemText(const PassReport& r) {
  std::string t;
  switch (r.problem) {
    case Problem::None:
      return {};
    case Problem::NoRecordFolder:
      return text::gb("没有可以保存更名记录的文件夹，没有文件被更名。");
    case Problem::RecordNotWritable:
      return text::gb("无法写入更名记录，没有文件被更名。\r\n\r\n") + platform::errorText(r.error);
    case Problem::UndoRecordNotWritable:
      t = text::gb("无法写入更名记录，没有撤消任何文件。\r\n\r\n") + platform::errorText(r.error);
      break;
    case Problem::RecordDamaged:
      t = text::gb("上一次更名的记录已损坏，无法撤消。");
      break;
    case Problem::RecordOtherVersion:
      t = text::gb("上一次更名的记录来自其他版本的程序，无法撤消。");
      break;
    case Problem::RecordRefused:
      t = text::gb("上一次更名的记录含有不可信的文件名或文件夹，无法撤消；没有改动任何文件。");
      break;
    case Problem::FolderBusy:
      return text::gb("另一个更名正在这个文件夹里进行：") + r.folder;
    case Problem::FolderLockFailed:
      return text::gb("无法锁定要更名的文件夹，没有改动任何文件。\r\n\r\n") + platform::errorText(r.error);
  }
  if (!r.movedTo.empty()) t += text::gb("\r\n\r\n记录已移到：") + r.movedTo;
  return t;
}

// The count lines of a pass or an undo that did not give every file its name.
std::string countLines(const PassReport& r, const char* allDone, const char* okLine, const char* failLine,
                       const char* stoppedLine, int unchanged = 0) {
  if (r.succeeded == r.total) return text::gb(allDone);
  std::string t = text::gb("文件总数：") + std::to_string(r.total) + text::gb(" 个文件\r\n\r\n") +
                  std::to_string(r.succeeded - unchanged) + text::gb(okLine) +
                  std::to_string(r.total - r.succeeded - r.stopped) + text::gb(failLine);
  if (r.stopped > 0) t += text::gb("\r\n") + std::to_string(r.stopped) + text::gb(stoppedLine);
  return t;
}

// What a record damaged on the disk could not give back.
std::string cutRecordNote(const PassReport& r) {
  std::string note;
  if (r.unreadable > 0)
    note += text::gb("\r\n\r\n更名记录有一部分已损坏：") + std::to_string(r.unreadable) +
            text::gb(" 个文件的记录无法读取，这些文件没有恢复原来的名称。");
  if (!r.temporaries.empty()) {
    note += text::gb("\r\n\r\n以下文件留在临时名称：");
    for (const std::string& t : r.temporaries) note += "\r\n" + t;
  }
  return note;
}

std::string tagRepairText(const PassReport& r) {
  std::string t = text::gb("文件总数：") + std::to_string(r.total) + text::gb(" 个MP3文件\r\n\r\n") +
                  std::to_string(r.converted) + text::gb(" 个文件已转换，") +
                  std::to_string(r.succeeded - r.converted) + text::gb(" 个文件无需转换，") +
                  std::to_string(r.failed) + text::gb(" 个文件转换失败。");
  if (r.uncertain > 0)
    t += text::gb("\r\n") + std::to_string(r.uncertain) + text::gb(" 个文件编码无法确定，没有转换。");
  if (r.stopped > 0) t += text::gb("\r\n") + std::to_string(r.stopped) + text::gb(" 个文件因停止而未转换。");
  return t;
}

// Which pass an undo gave back.
std::string undonePassNote(const PassReport& r) {
  if (!r.pass) return {};
  return text::gb("\r\n\r\n撤消的是 ") + passText(*r.pass) + text::gb("。");
}

}  // namespace

std::string passText(const rename::PassSummary& p, bool withFiles) {
  std::string t;
  if (const auto at = p.began > 0 ? platform::localTime(p.began) : std::nullopt) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d ", at->year, at->month, at->day, at->hour,
                  at->minute);
    t += buf;
  }
  if (!p.folder.empty()) {
    t += text::gb("在 ") + p.folder;
    if (p.moreFolders) {
      t += text::gb(" 等多个文件夹");
    } else if (p.folders > 1) {
      t += text::gb(" 等 ") + std::to_string(p.folders) + text::gb(" 个文件夹");
    }
    t += ' ';
  }
  t += text::gb("的更名");
  if (withFiles && p.files >= 0) t += text::gb("（") + std::to_string(p.files) + text::gb(" 个文件）");
  return t;
}

std::string undoQuestion(const rename::PassSummary& p) {
  const std::string pass = passText(p);
  // "撤消 2026-…" but "撤消在 /…" and "撤消的更名".
  const bool dated = !pass.empty() && pass[0] >= '0' && pass[0] <= '9';
  return text::gb(dated ? "撤消 " : "撤消") + pass + text::gb("？");
}

std::string cutShortQuestion(const rename::PassSummary& p, int renamed) {
  return passText(p, false) + text::gb("没有完成：") + std::to_string(renamed) +
         text::gb(" 个文件已经更名。\r\n\r\n是否恢复这些文件原来的名称？");
}

std::string forgetQuestion(int pending) {
  return text::gb("还有 ") + std::to_string(pending) +
         text::gb(
             " 个文件没有恢复原来的名称。文件夹被移走或存储卡被拔出时，放回原处后可以再次撤消。"
             "\r\n\r\n是否忘记这次更名？忘记后这些文件保持现在的名称，不能再撤消。");
}

std::string busyRecordText(const rename::PassSummary& p) {
  return text::gb("最近一次更名是 ") + passText(p) +
         text::gb("，它属于一个仍在运行的程序，不能在这里撤消。请在那个程序中撤消，或关闭它后再试。");
}

std::string forgottenText(const std::optional<rename::PassSummary>& p) {
  if (!p) return text::gb("没有可以忘记的更名。");
  return text::gb("已忘记 ") + passText(*p) + text::gb("：这些文件保持现在的名称，不能再撤消。");
}

std::string refusedRecordsText(const std::vector<std::string>& paths) {
  std::string t = text::gb("以下更名记录不属于当前用户或其他用户可以写入，程序不会用它们撤消：");
  for (const std::string& p : paths) t += "\r\n" + p;
  return t;
}

std::string refusedFoldersText(const std::vector<std::string>& dirs) {
  std::string t = text::gb("以下文件夹不属于当前用户或其他用户可以写入，程序不会在其中保存设置和更名记录：");
  for (const std::string& d : dirs) t += "\n" + d;
  return t;
}

std::string sortKeyText(SortKey key) {
  switch (key) {
    case SortKey::Name:
      return text::gb("按文件名");
    case SortKey::Modified:
      return text::gb("按修改时间");
    case SortKey::Taken:
      return text::gb("按拍摄时间");
    case SortKey::Size:
      return text::gb("按大小");
  }
  return {};
}

std::string reportText(const PassReport& r) {
  if (r.problem != Problem::None) return problemText(r);
  switch (r.kind) {
    case PassReport::Kind::NothingToUndo:
      return text::gb("没有需要撤消的文件。");
    case PassReport::Kind::TagRepair:
      return tagRepairText(r);
    case PassReport::Kind::Undo: {
      // Files whose record could not be read did not go back: no success.
      PassReport counted = r;
      counted.total += r.unreadable;
      return countLines(counted, "上一次的操作已经成功撤消！", " 个文件撤消成功！\r\n", " 个文件撤消失败！",
                        " 个文件因停止而未撤消。") +
             cutRecordNote(r) + undonePassNote(r);
    }
    case PassReport::Kind::Rename:
      break;
  }
  // Rows that already had their new name are no renames.
  std::string t = countLines(r, "文件更名完毕！", " 个文件更名成功！\r\n", " 个文件更名失败！",
                             " 个文件因停止而未更名。", r.unchanged);
  if (r.unchanged > 0) t += text::gb("\r\n") + std::to_string(r.unchanged) + text::gb(" 个文件名称不变。");
  if (r.recordWriteError != 0)
    t += text::gb("\r\n\r\n更名记录没有写完整：") + platform::errorText(r.recordWriteError) +
         text::gb("\r\n撤消仍然可以使用，它会按磁盘上的文件逐个核对。");
  return t;
}

std::string waitText(const PassReport& r) {
  // The folder on a line of its own: a long path does not stretch the message.
  return text::gb("另一个更名正在这个文件夹里进行：\r\n") + r.folder + text::gb("\r\n\r\n等它结束后就开始。");
}

namespace {

const char* charsetName(text::Charset c) {
  switch (c) {
    case text::Charset::Ascii:
      return "ASCII";
    case text::Charset::Utf8:
      return "UTF-8";
    case text::Charset::Gbk:
      return "GBK";
    case text::Charset::Big5:
      return "Big5";
    case text::Charset::Latin1:
      return "ISO-8859-1";
  }
  return "";
}

}  // namespace

std::string uncertainText(const std::vector<tags::UncertainText>& texts) {
  constexpr std::size_t kShown = 4;
  std::string note = text::gb("编码无法确定，没有转换：");
  for (std::size_t i = 0; i < texts.size() && i < kShown; ++i) {
    const tags::UncertainText& t = texts[i];
    note += text::gb("\n“") + t.reading + text::gb("”（") + charsetName(t.charset) + text::gb("）或“") +
            t.alternative + text::gb("”（") + charsetName(t.runnerUp) + text::gb("）");
  }
  if (texts.size() > kShown) note += text::gb("\n……");
  return note;
}

std::string writeFailureText(tags::WriteFailure f) {
  using tags::WriteFailure;
  switch (f) {
    case WriteFailure::ReadOnlyFile:
    case WriteFailure::NotOpenForWriting:
      return text::gb("文件是只读的，或不允许写入。");
    case WriteFailure::FolderNotWritable:
      return text::gb("文件所在的文件夹不允许写入。");
    case WriteFailure::DiskFull:
      return text::gb("磁盘已满。");
    case WriteFailure::NoBackupFolder:
      return text::gb("此文件须原地改写，但没有可存放其备份的文件夹。");
    case WriteFailure::TooLarge:
      return text::gb("标签将超过其格式允许的大小。");
    case WriteFailure::NotFullyRead:
      return text::gb("ID3v2标签结构无法完整读取，为避免丢失数据没有写入。");
    case WriteFailure::OldTagDamaged:
      return text::gb("原有标签声明的大小超出了文件。");
    case WriteFailure::None:
    case WriteFailure::Other:
      break;
  }
  return {};
}

}  // namespace qorin::session
