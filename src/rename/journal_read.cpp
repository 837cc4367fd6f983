// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a journal back (its writing is in journal.cpp). The file is read
// a piece at a time and checked line by line; the names of the steps are
// unescaped into JournalText::names as they are read, and the steps keep
// where their names are there.
#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/record_file.h"
#include "platform/fs.h"
#include "rename/file_numbers.h"
#include "rename/journal.h"
#include "rename/journal_fields.h"

namespace qorin::rename {

namespace {

using detail::FileNumbers;
using namespace detail::fields;

constexpr std::size_t kMaxJournalBytes = std::size_t{1} << 30;

// The lines of a record: of one text, or of its file read a piece at a
// time, a line cut by a piece's end carried over to the next piece.
class LineSource {
 public:
  explicit LineSource(std::string_view text) : rest_(text), size_(text.size()) {}
  explicit LineSource(platform::RecordReader& file) : file_(&file), size_(file.size()) {}

  // The next whole line, without its '\n', valid until the next call;
  // false at the end, a torn last line left in rest(), or when the file
  // cannot be read (failed()). A line longer than any of ours comes in
  // pieces of kLongestLine, each of which fails as damage: junk without
  // line breaks never grows the buffer.
  bool next(std::string_view& line) {
    for (;;) {
      const auto nl = rest_.find('\n', scanned_);
      if (nl != std::string_view::npos && nl <= kLongestLine) {
        line = rest_.substr(0, nl);
        rest_.remove_prefix(nl + 1);
        at_ += nl + 1;
        scanned_ = 0;
        return true;
      }
      if (rest_.size() > kLongestLine) {
        line = rest_.substr(0, kLongestLine);
        rest_.remove_prefix(kLongestLine);
        at_ += kLongestLine;
        scanned_ = 0;
        return true;
      }
      scanned_ = rest_.size();
      if (!file_ || read_ == size_ || !more()) return false;
    }
  }
  std::string_view rest() const { return rest_; }
  std::uint64_t at() const { return at_; }  // where the next line begins
  std::uint64_t size() const { return size_; }
  bool failed() const { return failed_; }

 private:
  static constexpr std::size_t kPiece = std::size_t{1} << 20;
  // A step's two names at their longest, every byte escaped, or a folder's
  // path as long as Windows takes: about 400 KiB.
  static constexpr std::size_t kLongestLine = kPiece / 2;

  // The next piece, after what is left of this one.
  bool more() {
    const std::size_t left = rest_.size();
    if (left > 0) std::memmove(buffer_.data(), rest_.data(), left);
    // The buffer stays one piece long unless a line is longer.
    const std::size_t want = left < kPiece / 2 ? kPiece - left : kPiece;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(want, size_ - read_));
    buffer_.resize(left + n);
    failed_ = !file_->read(read_, n, buffer_.data() + left);
    read_ += n;
    rest_ = failed_ ? std::string_view() : std::string_view(buffer_.data(), left + n);
    return !failed_;
  }

  platform::RecordReader* file_ = nullptr;
  std::string buffer_;
  std::string_view rest_;    // not yet handed out
  std::size_t scanned_ = 0;  // bytes of rest_ known to hold no line break
  std::uint64_t at_ = 0, read_ = 0, size_ = 0;
  bool failed_ = false;
};

// The payload of a line whose checksum holds.
std::optional<std::string_view> checkedPayload(std::string_view line) {
  const auto tab = line.rfind('\t');
  if (tab == std::string_view::npos || line.size() - tab - 1 != 8) return std::nullopt;
  const auto sum = number<std::uint32_t>(line.substr(tab + 1), 16);
  const std::string_view payload = line.substr(0, tab);
  if (!sum || *sum != crc32(payload)) return std::nullopt;
  return payload;
}

// What the steps will take, counted from the lines before they are read:
// the steps and their names are made room for once.
struct Room {
  std::size_t steps = 0, nameBytes = 0;
  std::uint64_t checked = 0;  // the lines before hold their checksums
};

// Only lines whose checksum holds count, up to the first that fails, where
// the reading stops too: a record of junk sizes nothing. The reading then
// takes the checksums found here as checked.
Room roomFor(LineSource in) {
  Room room;
  std::string_view line;
  while (in.next(line)) {
    const auto checked = checkedPayload(line);
    if (!checked) break;
    room.checked = in.at();
    if (!checked->starts_with("S ")) continue;
    ++room.steps;
    // The names are the last two fields.
    std::string_view payload = *checked;
    for (int k = 0; k < 2; ++k) {
      const auto sp = payload.rfind(' ');
      if (sp == std::string_view::npos) break;
      const std::size_t size = payload.size() - sp - 1;
      const auto escapes = static_cast<std::size_t>(std::count(payload.begin() + sp, payload.end(), '%'));
      room.nameBytes += size >= 2 * escapes ? size - 2 * escapes : 0;
      payload = payload.substr(0, sp);
    }
  }
  return room;
}

enum class LineFit : unsigned char { Ok, Bad, Refused };

// Reads records into `out` until the text ends or stops making sense.
class Parser {
 public:
  Parser(JournalRecord& out, int version, const Room& room)
      : out_(out), version_(version), files_(room.steps) {
    steps_ = std::make_shared<JournalText>();
    steps_->steps.reserve(room.steps);
    steps_->files.reserve(room.steps);
    steps_->names.reserve(room.nameBytes);
  }

  // Bad when the line does not fit where it stands; Refused when it fits
  // but names what no pass of ours could have written.
  LineFit line(std::string_view payload) {
    const Fields f = fieldsOf(payload);
    if (f[0].size() != 1) return LineFit::Bad;
    switch (f[0][0]) {
      case 'F':
        return folder(f);
      case 'B':
        return fit(begin(f));
      case 'S':
        return step(f);
      case 'P':
        return fit(planned(f));
      case 'D':
        return fit(done(f));
      case 'X':
        return fit(failed(f));
      case 'E':
        return fit(end(f));
      case 'L':
      case 'H':
        return fit(intent(f));
      default:
        return LineFit::Bad;
    }
  }

  // A plan that ends before its completion record never renamed anything,
  // unless a damaged line cut it: then the steps before are kept (the disk
  // tells which of them ran).
  void close(bool cutByDamage) {
    if (open_ && !planned_ && continuing_) {
      // A later part of the plan: what the parts before planned stands.
      JournalPhase& phase = out_.phases.back();
      if (cutByDamage) {
        phase.states.resize(openSteps(), StepState::Pending);
        phase.planCut = true;
      } else {
        dropOpenPart();
      }
    } else if (open_ && !planned_) {
      JournalPhase& phase = out_.phases.back();
      const std::size_t count = openSteps();
      if (cutByDamage && count > 0) {
        phase.states.assign(count, StepState::Pending);
        phase.planCut = true;
      } else {
        dropOpenPhase();
      }
    }
    open_ = false;
    continuing_ = false;
  }

  // Hands the steps read to the record.
  void finish() {
    out_.files = files_.indexed();
    files_ = FileNumbers(0);
    JournalText& t = *steps_;
    for (const JournalFolder& f : out_.folders) t.devices.push_back(f.device);
    for (std::size_t p = 0; p < out_.phases.size(); ++p) {
      const std::size_t end = p + 1 < firstStep_.size() ? firstStep_[p + 1] : t.steps.size();
      out_.phases[p].steps = JournalSteps(steps_, firstStep_[p], end - firstStep_[p]);
    }
    out_.text = steps_;
  }

 private:
  static LineFit fit(bool ok) { return ok ? LineFit::Ok : LineFit::Bad; }

  std::size_t openSteps() const { return steps_->steps.size() - firstStep_.back(); }

  // The open phase is left out, with its steps, their names and the indexes
  // its files got.
  void dropOpenPhase() {
    std::vector<JournalText::Step>& steps = steps_->steps;
    for (std::size_t k = firstStep_.back(); k < steps.size(); ++k)
      files_.unindex(steps_->files[steps[k].fileIndex].number, filesBefore_);
    files_.setIndexed(filesBefore_);
    steps_->files.resize(filesBefore_);
    steps.resize(firstStep_.back());
    steps_->names.resize(namesBefore_);
    firstStep_.pop_back();
    out_.phases.pop_back();
  }

  // The steps of a part whose P line never came are left out, as above.
  void dropOpenPart() {
    std::vector<JournalText::Step>& steps = steps_->steps;
    const std::size_t kept = firstStep_.back() + out_.phases.back().states.size();
    for (std::size_t k = kept; k < steps.size(); ++k)
      files_.unindex(steps_->files[steps[k].fileIndex].number, partFiles_);
    files_.setIndexed(partFiles_);
    steps_->files.resize(partFiles_);
    steps.resize(kept);
    steps_->names.resize(partNames_);
  }

  // A name field unescaped: the field itself when it holds no escape.
  static std::optional<std::string_view> name(std::string_view field, std::string& scratch) {
    if (field.find('%') == std::string_view::npos) return field;
    scratch.resize(field.size());
    const auto n = unescapeInto(field, scratch.data());
    if (!n) return std::nullopt;
    return std::string_view(scratch.data(), *n);
  }

  LineFit folder(const Fields& f) {
    const std::size_t fields = version_ == 1 ? 4 : 5;
    if (f.size() != fields || !out_.phases.empty() || open_) return LineFit::Bad;
    const auto index = number<std::uint32_t>(f[1]);
    const auto device = number<std::uint64_t>(f[2], 16);
    const auto inode = fields == 5 ? number<std::uint64_t>(f[3], 16) : std::optional<std::uint64_t>(0);
    auto dir = unescape(f[fields - 1]);
    if (!index || *index != out_.folders.size() || !device || !inode || !dir) return LineFit::Bad;
    // A folder no step uses may be anything (a pass lists the folder of a
    // row that had none); one that a step uses must be a full path.
    trusted_.push_back(canonicalFolder(*dir));
    out_.folders.push_back({std::move(*dir), *device, *inode});
    return LineFit::Ok;
  }

  bool begin(const Fields& f) {
    if (f.size() != 2) return false;
    const auto kind = kindOf(f[1]);
    if (!kind) return false;
    close(false);
    // Only the first phase is a pass; later ones work on its files.
    if ((*kind == PhaseKind::Pass) != out_.phases.empty()) return false;
    out_.phases.push_back({});
    out_.phases.back().kind = *kind;
    out_.intents.clear();  // a phase that ended left nothing half way
    firstStep_.push_back(steps_->steps.size());
    filesBefore_ = files_.indexed();
    namesBefore_ = steps_->names.size();
    open_ = true;
    planned_ = false;
    return true;
  }

  LineFit step(const Fields& f) {
    if (f.size() != 11 || !open_) return LineFit::Bad;
    if (planned_) {
      // The next part of a pass's plan.
      const JournalPhase& phase = out_.phases.back();
      if (version_ < 4 || phase.kind != PhaseKind::Pass || phase.ended) return LineFit::Bad;
      planned_ = false;
      continuing_ = true;
      partFiles_ = files_.indexed();
      partNames_ = steps_->names.size();
    }
    const auto file = number<std::uint32_t>(f[1]);
    const auto folder = number<std::uint32_t>(f[2]);
    const auto group = number<std::uint32_t>(f[3]);
    const auto dev = number<std::uint64_t>(f[5], 16);
    const auto ino = number<std::uint64_t>(f[6], 16);
    const auto size = number<std::uint64_t>(f[7], 16);
    const auto birth = number<std::uint64_t>(f[8], 16);
    const auto from = name(f[9], fromScratch_);
    const auto to = name(f[10], toScratch_);
    if (!file || !folder || *folder >= out_.folders.size() || !group || (f[4] != "c" && f[4] != "s") ||
        !dev || !ino || !size || !birth || !from || !to)
      return LineFit::Bad;
    // A name with a separator or "..", or a file on another device than its
    // folder, would reach outside the folder the user listed.
    if (!trusted_[*folder] || !trustedName(*from) || !trustedName(*to) ||
        *dev != out_.folders[*folder].device)
      return LineFit::Refused;
    if (out_.phases.back().kind == PhaseKind::Pass) {
      files_.know(*file);
    } else if (!files_.known(*file)) {
      return LineFit::Bad;
    }
    if (from->size() > JournalText::kLongestName || to->size() > JournalText::kLongestName)
      return LineFit::Bad;
    JournalText::Step s;
    s.fileIndex = files_.index(*file);
    // A file stays in its folder: a later step naming another is not ours.
    std::vector<JournalText::File>& files = steps_->files;
    if (s.fileIndex == files.size()) files.push_back({*file, *folder});
    if (files[s.fileIndex].folder != *folder) return LineFit::Refused;
    s.group = *group;
    s.cycle = f[4] == "c";
    s.inode = *ino;
    s.size = *size;
    s.birth = *birth;
    std::string& names = steps_->names;
    s.from = static_cast<std::uint32_t>(names.size());
    s.fromSize = static_cast<std::uint16_t>(from->size());
    names += *from;
    s.toSize = static_cast<std::uint16_t>(to->size()) & JournalText::kLongestName;
    names += *to;
    steps_->steps.push_back(s);
    return LineFit::Ok;
  }

  bool planned(const Fields& f) {
    if (f.size() != 2 || !open_ || planned_) return false;
    JournalPhase& phase = out_.phases.back();
    const auto n = number<std::size_t>(f[1]);
    if (!n || *n != openSteps()) return false;
    phase.states.resize(*n, StepState::Pending);
    planned_ = true;
    continuing_ = false;
    return true;
  }

  JournalPhase* running() {
    return open_ && planned_ && !out_.phases.back().ended ? &out_.phases.back() : nullptr;
  }

  bool done(const Fields& f) {
    JournalPhase* phase = running();
    if (f.size() != 3 || !phase) return false;
    const auto first = number<std::size_t>(f[1]), last = number<std::size_t>(f[2]);
    if (!first || !last || *first > *last || *last >= phase->states.size()) return false;
    for (std::size_t i = *first; i <= *last; ++i) phase->states[i] = StepState::Done;
    return true;
  }

  bool failed(const Fields& f) {
    JournalPhase* phase = running();
    if (f.size() != 4 || !phase) return false;
    const auto step = number<std::size_t>(f[1]);
    if (!step || *step >= phase->states.size() || !number<int>(f[2]) || !number<int>(f[3])) return false;
    phase->states[*step] = StepState::Failed;
    return true;
  }

  bool end(const Fields& f) {
    JournalPhase* phase = running();
    if (!phase || f.size() != (version_ >= 3 ? 2u : 1u)) return false;
    if (version_ >= 3 && !number<std::uint64_t>(f[1])) return false;
    phase->ended = true;
    return true;
  }

  // An L or H line; the second H line of a claim follows its first.
  bool intent(const Fields& f) {
    JournalPhase* phase = running();
    const bool link = f[0][0] == 'L';
    if (!phase || f.size() < 3 || f.size() > (link ? 3u : 4u) || (f[2] != "t" && f[2] != "f")) return false;
    const auto step = number<std::uint32_t>(f[1]);
    if (!step || *step >= phase->states.size()) return false;
    const bool back = f[2] == "f";
    if (f.size() == 3) {
      out_.intents.push_back({*step, link, back, false, 0});
      return true;
    }
    const auto inode = number<std::uint64_t>(f[3], 16);
    if (!inode || out_.intents.empty()) return false;
    JournalIntent& claim = out_.intents.back();
    if (claim.link || claim.claimed || claim.step != *step || claim.back != back) return false;
    claim.claimed = true;
    claim.inode = *inode;
    return true;
  }

  JournalRecord& out_;
  int version_;
  std::shared_ptr<JournalText> steps_;
  std::vector<std::size_t> firstStep_;  // per phase, its first step's place
  FileNumbers files_;
  std::uint32_t filesBefore_ = 0;  // files indexed before the open phase
  std::size_t namesBefore_ = 0;    // the names' size before it
  std::vector<bool> trusted_;      // per folder
  std::string fromScratch_, toScratch_;
  bool open_ = false, planned_ = false;
  bool continuing_ = false;      // steps read after a P line: a later part of the plan
  std::uint32_t partFiles_ = 0;  // files indexed before that part
  std::size_t partNames_ = 0;    // the names' size before it
};

// The version a first line names: 0 when it is not one this program reads.
int versionOf(std::string_view first) {
  const std::string_view magic = kJournalMagic;
  if (!first.starts_with(magic) || first.size() <= magic.size() || first[magic.size()] != ' ') return -1;
  const std::string_view rest = first.substr(magic.size() + 1);
  const std::string_view version = rest.substr(0, rest.find_first_of(" \t"));
  // Versions 1 and 2 differ only in their folder and end lines.
  for (int v = 1; v <= kJournalVersion; ++v)
    if (version == std::to_string(v)) return v;
  return 0;
}

// Lines from the damaged one to the plan's end that look like steps (a torn
// last line too): what a cut plan could not say.
int stepLinesFrom(std::string_view damaged, LineSource& in) {
  int n = 0;
  bool more = true;
  for (std::string_view line = damaged; !line.starts_with("P ");) {
    if (line.starts_with("S ")) ++n;
    if (!more) break;
    if (!in.next(line)) {
      line = in.rest();
      more = false;
      if (line.empty()) break;
    }
  }
  return n;
}

// Whether a whole line after the bad one holds its checksum: the record
// went on past the damage.
bool anyGoodLineAfter(LineSource& in) {
  std::string_view line;
  while (in.next(line))
    if (checkedPayload(line)) return true;
  return false;
}

// Reads the record whose lines `in` gives; `countRoom` reads them once more
// first, for the room their steps take and how far their checksums hold.
template <class CountRoom>
JournalRead parseLines(LineSource& in, const CountRoom& countRoom, JournalRecord& out) {
  out = {};
  if (in.size() > kMaxJournalBytes) return JournalRead::Damaged;  // places in it must fit 32 bits
  const std::string_view magic = kJournalMagic;
  std::string_view first;
  // A first line cut short: a pass that ended before its plan was written.
  if (!in.next(first))
    return magic.starts_with(in.rest().substr(0, magic.size())) ? JournalRead::NeverRan
                                                                : JournalRead::Damaged;
  const int versionNumber = versionOf(first);
  if (versionNumber < 0) return JournalRead::Damaged;
  if (versionNumber == 0) return JournalRead::Unsupported;
  if (!checkedPayload(first)) return JournalRead::Damaged;

  const Room room = countRoom();
  Parser parser(out, versionNumber, room);
  std::string_view line;
  std::uint64_t lineStart = in.at();
  bool bad = false;
  for (; in.next(line); lineStart = in.at()) {
    const auto payload =
        in.at() <= room.checked ? std::optional(line.substr(0, line.rfind('\t'))) : checkedPayload(line);
    const LineFit fit = payload ? parser.line(*payload) : LineFit::Bad;
    if (fit == LineFit::Refused) {
      parser.finish();
      return JournalRead::Refused;
    }
    bad = fit == LineFit::Bad;
    if (bad) break;
  }
  out.goodBytes = lineStart;
  out.damaged = lineStart < in.size();
  // A torn last line is where the writing stopped (a kill, a full disk): a
  // plan whose P line never came never ran. Only a bad line hides one that may have.
  parser.close(bad);
  parser.finish();
  if (bad && !out.phases.empty() && out.phases.back().planCut) out.unreadableSteps = stepLinesFrom(line, in);
  // No plan survived: a pass cut short while writing it renamed nothing; a
  // damaged line with steps after it hides a pass that may have.
  if (out.phases.empty())
    return out.damaged && bad && anyGoodLineAfter(in) ? JournalRead::Damaged : JournalRead::NeverRan;
  return JournalRead::Ok;
}

}  // namespace

JournalRead parseJournal(std::string_view text, JournalRecord& out) {
  LineSource in(text);
  return parseLines(
      in, [&] { return roomFor(LineSource(text)); }, out);
}

JournalRead readJournal(std::string_view path, JournalRecord& out) {
  out = {};
  platform::RecordReader file;
  if (file.open(path, kMaxJournalBytes)) {
    LineSource in(file);
    const JournalRead read = parseLines(
        in, [&] { return roomFor(LineSource(file)); }, out);
    if (!in.failed()) return read;
    out = {};
  }
  return platform::exists(path) ? JournalRead::Damaged : JournalRead::Missing;
}

JournalPeek peekJournal(std::string_view path) {
  JournalPeek p;
  // The first line and the last: both short.
  const auto ends = platform::readOwnFileEnds(path, 256, 256);
  if (!ends) {
    p.read = platform::exists(path) ? JournalRead::Damaged : JournalRead::Missing;
    return p;
  }
  const std::string_view head = ends->head;
  const std::string_view all = ends->complete ? head : std::string_view(ends->tail);
  const auto nl = head.find('\n');
  const int version = nl == std::string_view::npos ? -1 : versionOf(head.substr(0, nl));
  if (head.empty()) {
    p.read = JournalRead::NeverRan;
    return p;
  }
  if (version < 0 || (version > 0 && !checkedPayload(head.substr(0, nl)))) {
    p.read = JournalRead::Damaged;
    return p;
  }
  if (version == 0) {
    p.read = JournalRead::Unsupported;
    return p;
  }
  p.read = JournalRead::Ok;
  if (version < 3 || all.empty() || all.back() != '\n') return p;
  const std::string_view body = all.substr(0, all.size() - 1);
  const auto before = body.rfind('\n');
  if (before == std::string_view::npos && !ends->complete) return p;
  const auto payload = checkedPayload(body.substr(before == std::string_view::npos ? 0 : before + 1));
  if (!payload || !payload->starts_with("E ")) return p;
  if (const auto n = number<std::uint64_t>(payload->substr(2))) {
    p.ended = true;
    p.pending = *n;
  }
  return p;
}

std::optional<std::vector<JournalFolder>> readJournalFolders(std::string_view path) {
  platform::RecordReader file;
  if (!file.open(path, kMaxJournalBytes)) return std::nullopt;
  LineSource in(file);
  std::string_view line;
  if (!in.next(line)) return std::nullopt;
  const int version = versionOf(line);
  if (version <= 0 || !checkedPayload(line)) return std::nullopt;
  const std::size_t fields = version == 1 ? 4 : 5;
  std::vector<JournalFolder> out;
  while (in.next(line)) {
    const auto payload = checkedPayload(line);
    if (!payload || !payload->starts_with("F ")) break;
    const Fields f = fieldsOf(*payload);
    if (f.size() != fields) break;
    const auto index = number<std::uint32_t>(f[1]);
    const auto device = number<std::uint64_t>(f[2], 16);
    const auto inode = fields == 5 ? number<std::uint64_t>(f[3], 16) : std::optional<std::uint64_t>(0);
    auto dir = unescape(f[fields - 1]);
    if (!index || *index != out.size() || !device || !inode || !dir) break;
    out.push_back({std::move(*dir), *device, *inode});
  }
  return out;
}

}  // namespace qorin::rename
