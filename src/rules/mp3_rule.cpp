// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/mp3_rule.h"

#include <algorithm>
#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

#include "rules/media_rows.h"
#include "tags/formats.h"
#include "tags/id3_reader.h"
#include "tags/tag_slots.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rules {

namespace {

// The slot of each placeholder, looked up once: expanding asks it per segment.
constexpr auto kSlots = [] {
  std::array<int, tags::kNamingCodes + 1> slots{};
  for (int code = 1; code <= tags::kNamingCodes; ++code)
    slots[static_cast<std::size_t>(code)] = tags::slotOfNamingCode(code);
  return slots;
}();

// "#" is never part of a multi-byte character, so a plain search for "#n"
// cannot match inside one.
void replaceAll(std::string& s, std::string_view from, std::string_view to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
}

using filelist::Mp3Status;

// MP3 (and MP2) files are named ".mp3" (".mp2") whatever the case of
// theirs; the others keep their extension as it stands.
std::string extensionOf(std::string_view oldName, tags::TagKind kind) {
  std::string ext(oldName.substr(oldName.rfind('.')));  // a reader was chosen by it, so there is one
  if (kind == tags::TagKind::Id3) text::asciiLowerInPlace(ext);
  return ext;
}

// A track or disc number as players show it: "3" of "3/12" (the count after
// the slash is no part of it), blanks around it gone.
std::string_view numberBeforeSlash(std::string_view s) {
  s = s.substr(0, s.find('/'));
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool isBlank(std::string_view s) { return s.find_first_not_of(" \t") == std::string_view::npos; }

// True when the rule uses a placeholder and every one it uses is blank for
// this tag (an encoder's name alone, a replay gain): no name to make.
bool noNeededField(const std::vector<RuleSegment>& segments, const tags::TagFields& fields) {
  bool uses = false;
  for (const RuleSegment& s : segments) {
    if (s.code == 0) continue;
    uses = true;
    const std::string& field = fields[slotOfCode(s.code)];
    if (!isBlank(s.code == 4 ? numberBeforeSlash(field) : std::string_view(field))) return false;
  }
  return uses;
}

}  // namespace

filelist::Mp3Status taggedStatus(tags::TagKind kind) {
  const tags::TagFamily* f = tags::familyOf(kind);
  return !f || f->status.empty() ? filelist::Mp3Status::None
                                 : filelist::taggedWith(static_cast<unsigned>(kind));
}

int slotOfCode(int code) {
  return code >= 0 && code <= tags::kNamingCodes ? kSlots[static_cast<std::size_t>(code)] : 0;
}

std::optional<std::vector<RuleSegment>> parseMp3Rule(std::string_view rule) {
  if (rule.empty()) return std::nullopt;
  std::vector<RuleSegment> out;
  std::size_t literalStart = 0;
  bool mark = false;
  for (std::size_t i = 0; i < rule.size(); ++i) {
    const char c = rule[i];
    if (mark && c >= '1' && c <= '6') {
      out.push_back({std::string(rule.substr(literalStart, i - 1 - literalStart)), c - '0'});
      literalStart = i + 1;
      mark = false;
    } else {
      mark = c == '#';
    }
  }
  out.push_back({std::string(rule.substr(literalStart)), 0});
  return out;
}

std::string expandMp3Rule(const std::vector<RuleSegment>& segments, const tags::TagFields& fields,
                          const NameCleanup& cleanup, std::string_view extension) {
  std::string name;
  for (const RuleSegment& s : segments) {
    name += s.literal;
    if (s.code == 0) break;
    const std::string& field = fields[slotOfCode(s.code)];
    if (s.code != 4) {
      name += field;
    } else if (cleanup.padTrack) {
      name += padTrackNumber(numberBeforeSlash(field));
    } else {
      name += numberBeforeSlash(field);
    }
  }
  if (cleanup.replaceIllegal) replaceIllegalChars(name);
  if (!name.empty()) name += extension;
  return name;
}

std::string mp3RuleExample(std::string_view rule) {
  static const std::array<std::string, 6> words = {text::gb("艺术家"), text::gb("歌曲名"), text::gb("专辑"),
                                                   text::gb("音轨"),   text::gb("年代"),   text::gb("流派")};
  std::string s(rule);
  for (int n = 1; n <= 6; ++n) {
    const char mark[2] = {'#', static_cast<char>('0' + n)};
    replaceAll(s, std::string_view(mark, 2), words[static_cast<std::size_t>(n - 1)]);
  }
  return s;
}

std::string withPlaceholder(std::string_view rule, int n) {
  std::string s(rule);
  s += rule.empty() ? "#" : "-#";
  s += std::to_string(n);
  return s;
}

std::string_view mp3SchemeRule(int item) {
  static constexpr std::array<std::string_view, 4> rules = {"#1-#2", "#1-#3-#2", "#1-#3-#5-#2",
                                                            "#1-#3-#5-#2-#4"};
  return item >= 0 && item < 4 ? rules[static_cast<std::size_t>(item)] : std::string_view();
}

namespace {

// The files of rows [from, to) that TagLib reads, read by the media workers
// in one go: their rows in `ahead`, their answers in `answers`.
void readAhead(filelist::FileList& list, int from, int to, const Mp3Options& o, tags::MediaWorkers& workers,
               const platform::StopFn& stop, std::vector<int>& ahead, std::vector<tags::TagAnswer>& answers) {
  std::vector<tags::MediaFile> files;
  ahead.clear();
  for (int i = from; i < to; ++i)
    if (const tags::TagReader* r = tags::tagReaderFor(list.oldName(i)); r && r->kind != tags::TagKind::Id3) {
      ahead.push_back(i);
      files.push_back(mediaFileOf(list, i));
    }
  answers.assign(files.size(), {});
  if (!files.empty()) workers.readTags(files, o.priority, answers, stop);
}

}  // namespace

bool mp3Rule(filelist::FileList& list, const Mp3Options& o, const Reading& reading) {
  const platform::StopFn& stop = reading.stop;
  const int count = list.fileCount();
  const auto segments = parseMp3Rule(o.rule);
  if (!segments) {
    for (int i = 0; i < count; ++i) list.setNewName(i, {});
    return true;
  }
  const auto setStatus = [&list](int row, filelist::Mp3Status status) {
    if (list[row].mp3Code != status) list.setMp3Status(row, status);
  };
  const auto name = [&](int i, tags::TagKind kind, const tags::TagFields& fields) {
    if (noNeededField(*segments, fields)) {
      list.setProposalProblem(i, why::NoNeededField);
    } else {
      list.setNewName(i, expandMp3Rule(*segments, fields, o.cleanup, extensionOf(list[i].oldName, kind)));
    }
  };
  // Each file is a read: what was not reached is named by nothing.
  const auto stopAt = [&](auto first, auto last) {
    for (; first != last; ++first) list.setProposalProblem(*first, why::Stopped);
    return false;
  };
  // An album is one encoding: the MP3s' unlabelled texts are weighed by
  // folder, and a file with a text its tag alone could not decide is read
  // again with its folder's.
  std::unordered_map<std::uint32_t, text::Evidence> folders;
  std::vector<int> undecided;
  const auto stopFrom = [&](int i) {
    std::vector<int> rest(undecided);
    for (int k = i; k < count; ++k) rest.push_back(k);
    return stopAt(rest.begin(), rest.end());
  };
  // The files TagLib reads are read by the media workers, a part of the
  // list at a time; MP3 files by our own parser here.
  constexpr int kPart = 1024;
  std::vector<int> ahead;
  std::vector<tags::TagAnswer> answers;
  std::unique_ptr<tags::MediaWorkers> here;
  for (int i = 0; i < count; ++i) {
    if (i % kPart == 0)
      readAhead(list, i, std::min(count, i + kPart), o, workersOf(reading, here), stop, ahead, answers);
    const filelist::FileEntry e = list[i];
    const tags::TagReader* reader = tags::tagReaderFor(e.oldName);
    if (!reader) {
      setStatus(i, filelist::Mp3Status::NotMp3);
      list.setProposalProblem(i, why::UnsupportedFormat);
      continue;
    }
    tags::TagFields fields;
    tags::NamingRead read;
    if (const auto at = std::lower_bound(ahead.begin(), ahead.end(), i); at != ahead.end() && *at == i) {
      tags::TagAnswer& a = answers[static_cast<std::size_t>(at - ahead.begin())];
      if (a.failure == tags::MediaFailure::Stopped) return stopFrom(i);
      if (a.failure != tags::MediaFailure::None) {
        list.setProposalProblem(i, reasonOf(a.failure));
        continue;
      }
      read = a.read;
      fields = std::move(a.fields);
    } else if (stop && stop()) {
      return stopFrom(i);
    } else if (reader->kind == tags::TagKind::Id3) {
      tags::TextContext context;
      read = tags::readId3ForNaming(e.diskPath(), o.priority, fields, context);
      folders[e.folder] += context.tag;
      if (read == tags::NamingRead::Tagged && context.uncertain) undecided.push_back(i);
    } else {
      read = reader->readForNaming(e.diskPath(), o.priority, fields);
    }
    switch (read) {
      case tags::NamingRead::Unreadable:
        // No proposal of another rule may stay behind: the row fails with its reason.
        list.setProposalProblem(i, why::Unreadable);
        break;
      case tags::NamingRead::Damaged:
        list.setProposalProblem(i, why::DamagedFile);
        break;
      case tags::NamingRead::NoTag:
        setStatus(i, filelist::Mp3Status::NoTag);
        list.setProposalProblem(i, why::NoTag);
        break;
      case tags::NamingRead::Tagged:
        setStatus(i, taggedStatus(reader->kind));
        name(i, reader->kind, fields);
        break;
      case tags::NamingRead::TextChunks:
        setStatus(i, filelist::Mp3Status::TextChunks);
        name(i, reader->kind, fields);
        break;
    }
  }
  for (auto it = undecided.begin(); it != undecided.end(); ++it) {
    if (stop && stop()) return stopAt(it, undecided.end());
    tags::TextContext context;
    context.folder = &folders[list.folderOf(*it)];
    tags::TagFields fields;
    // A file that cannot be read again keeps the name its tag alone gave.
    if (tags::readId3ForNaming(list[*it].diskPath(), o.priority, fields, context) == tags::NamingRead::Tagged)
      name(*it, tags::TagKind::Id3, fields);
  }
  return true;
}

}  // namespace qorin::rules
