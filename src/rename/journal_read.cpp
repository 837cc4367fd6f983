// Reading a journal back (its writing is in journal.cpp). The file is read
// once into one buffer and checked line by line; the names of the steps
// that count are then unescaped and packed into JournalText::names, and the
// steps keep where their names are there.
#include <array>
#include <charconv>
#include <cstring>
#include <optional>

#include "platform/record_file.h"
#include "rename/journal.h"
#include "rename/plan.h"
#include "text/gbtext.h"

namespace qorin::rename {

namespace {

constexpr std::size_t kMaxJournalBytes = std::size_t{1} << 30;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Writes `field` unescaped to `out`, which may be where the field starts
// (the bytes only shrink); the size written, or nothing for a broken escape.
std::optional<std::size_t> unescapeInto(std::string_view field, char* out) {
  std::size_t w = 0;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out[w++] = field[i];
      continue;
    }
    if (i + 2 >= field.size()) return std::nullopt;
    const int hi = hexDigit(field[i + 1]), lo = hexDigit(field[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out[w++] = static_cast<char>(hi << 4 | lo);
    i += 2;
  }
  return w;
}

std::optional<std::string> unescape(std::string_view field) {
  std::string out(field.size(), '\0');
  const auto n = unescapeInto(field, out.data());
  if (!n) return std::nullopt;
  out.resize(*n);
  return out;
}

// The size of a field already checked by unescapeInto, once unescaped.
std::size_t unescapedSize(std::string_view field) {
  std::size_t escapes = 0;
  for (const char c : field) escapes += c == '%';
  return field.size() - 2 * escapes;
}

template <class T>
std::optional<T> number(std::string_view field, int base = 10) {
  T v{};
  const auto r = std::from_chars(field.data(), field.data() + field.size(), v, base);
  if (r.ec != std::errc() || r.ptr != field.data() + field.size() || field.empty()) return std::nullopt;
  return v;
}

// The blank-separated fields of a line; no line has more than 11, so a
// count of 12 stands for "more".
struct Fields {
  std::array<std::string_view, 12> at;
  std::size_t count = 0;
  std::size_t size() const { return count; }
  std::string_view operator[](std::size_t i) const { return at[i]; }
};

Fields fieldsOf(std::string_view payload) {
  Fields out;
  std::size_t start = 0;
  for (;;) {
    const auto sp = payload.find(' ', start);
    if (out.count == out.at.size()) return out;
    out.at[out.count++] = payload.substr(start, sp - start);
    if (sp == std::string_view::npos) return out;
    start = sp + 1;
  }
}

std::optional<PhaseKind> kindOf(std::string_view s) {
  if (s == "pass") return PhaseKind::Pass;
  if (s == "undo") return PhaseKind::Undo;
  if (s == "keep") return PhaseKind::Keep;
  return std::nullopt;
}

// A folder as a pass writes it: a full path, ending in the separator, with
// no empty, "." or ".." part. Walked by characters: on Windows the second
// byte of a double-byte character may be 0x5C.
bool canonicalFolder(std::string_view dir) {
  constexpr char sep = platform::kSeparator;
  std::size_t i = 0;
  if constexpr (platform::kSeparator == '\\') {
    const bool drive = dir.size() >= 3 && ((dir[0] | 0x20) >= 'a' && (dir[0] | 0x20) <= 'z') &&
                       dir[1] == ':' && dir[2] == sep;
    const bool share = dir.size() >= 3 && dir[0] == sep && dir[1] == sep;
    if (!drive && !share) return false;
    i = drive ? 3 : 2;
  } else {
    if (dir.empty() || dir[0] != sep) return false;
    i = 1;
  }
  if (dir.back() != sep) return false;
  std::size_t partStart = i;
  while (i < dir.size()) {
    const char c = dir[i];
    if (c == '\0' || (sep == '\\' && c == '/')) return false;
    if (c == sep) {
      const std::string_view part = dir.substr(partStart, i - partStart);
      if (part.empty() || part == "." || part == "..") return false;
      partStart = i + 1;
    }
    i += text::charLength(dir, i);
  }
  return true;
}

// A name a file of a pass could have had.
bool trustedName(std::string_view name) { return nameProblem(name, NameRules{}) == Reason::None; }

// Lines that begin as steps do: no more steps than that can be read.
std::size_t stepLineCount(std::string_view text) {
  std::size_t n = 0;
  for (auto at = text.find("\nS "); at != std::string_view::npos; at = text.find("\nS ", at + 1)) ++n;
  return n;
}

// The files the pass names, by their number: a later phase may name only
// those. Each gets its index (JournalStep::fileIndex) where the record
// first names it in a phase that is kept. Open addressing, eight bytes a
// slot, for the reading only.
class FileNumbers {
 public:
  explicit FileNumbers(std::size_t expected) { rehash(expected); }

  void know(std::uint32_t file) {
    Slot& s = slot(file);
    if (s.state != kFree) return;
    s = {file, kUnindexed};
    if (++known_ * 2 > slots_.size()) rehash(known_);
  }
  bool known(std::uint32_t file) { return slot(file).state != kFree; }
  // A known file's index, the next one for a file not yet indexed.
  std::uint32_t index(std::uint32_t file) {
    Slot& s = slot(file);
    if (s.state == kUnindexed) s.state = indexed_++;
    return s.state;
  }
  // The files first indexed from `count` on lose their index (their phase
  // was left out).
  void unindex(std::uint32_t file, std::uint32_t count) {
    Slot& s = slot(file);
    if (s.state != kFree && s.state != kUnindexed && s.state >= count) s.state = kUnindexed;
  }
  std::uint32_t indexed() const { return indexed_; }
  void setIndexed(std::uint32_t n) { indexed_ = n; }

 private:
  static constexpr std::uint32_t kFree = UINT32_MAX, kUnindexed = UINT32_MAX - 1;
  struct Slot {
    std::uint32_t file = 0;
    std::uint32_t state = kFree;  // or kUnindexed, or the index
  };

  Slot& slot(std::uint32_t file) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = static_cast<std::size_t>((file * 0x9E3779B97F4A7C15ull) >> 20) & mask;
    while (slots_[i].state != kFree && slots_[i].file != file) i = (i + 1) & mask;
    return slots_[i];
  }

  void rehash(std::size_t count) {
    std::size_t cap = 16;
    while (cap < count * 2 + 2) cap <<= 1;
    std::vector<Slot> old(cap);
    old.swap(slots_);
    for (const Slot& s : old)
      if (s.state != kFree) slot(s.file) = s;
  }

  std::vector<Slot> slots_;
  std::size_t known_ = 0;
  std::uint32_t indexed_ = 0;
};

enum class LineFit : unsigned char { Ok, Bad, Refused };

// Reads records into `out` until the text ends or stops making sense.
class Parser {
 public:
  Parser(JournalRecord& out, int version, std::string_view text, std::size_t stepLines)
      : out_(out), version_(version), text_(text), files_(stepLines) {
    steps_ = std::make_shared<JournalText>();
    steps_->steps.reserve(stepLines);
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
      default:
        return LineFit::Bad;
    }
  }

  // A plan that ends before its completion record never renamed anything,
  // unless a damaged line cut it: then the steps before are kept (the disk
  // tells which of them ran).
  void close(bool cutByDamage) {
    if (open_ && !planned_) {
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
  }

  // Hands the steps read to the record, their names packed.
  void finish() {
    out_.files = files_.indexed();
    files_ = FileNumbers(0);
    JournalText& t = *steps_;
    for (const JournalFolder& f : out_.folders) t.devices.push_back(f.device);
    std::size_t bytes = 0;
    for (const JournalText::Step& s : t.steps)
      bytes += unescapedSize(raw(s.from, s.fromSize)) + unescapedSize(raw(s.to, s.toSize));
    t.names.resize(bytes);
    std::size_t at = 0;
    for (JournalText::Step& s : t.steps) {
      s.fromSize = static_cast<std::uint32_t>(pack(s.from, s.fromSize, at));
      s.toSize = static_cast<std::uint32_t>(pack(s.to, s.toSize, at));
    }
    for (std::size_t p = 0; p < out_.phases.size(); ++p) {
      const std::size_t end = p + 1 < firstStep_.size() ? firstStep_[p + 1] : t.steps.size();
      out_.phases[p].steps = JournalSteps(steps_, firstStep_[p], end - firstStep_[p]);
    }
    out_.text = steps_;
  }

 private:
  static LineFit fit(bool ok) { return ok ? LineFit::Ok : LineFit::Bad; }

  std::string_view raw(std::uint32_t at, std::uint32_t size) const { return text_.substr(at, size); }

  // Moves a checked field to `at` in the names, unescaped; its new place is
  // left in `field`, its size returned.
  std::size_t pack(std::uint32_t& field, std::uint32_t size, std::size_t& at) {
    const std::size_t n = *unescapeInto(raw(field, size), steps_->names.data() + at);
    field = static_cast<std::uint32_t>(at);
    at += n;
    return n;
  }

  std::size_t openSteps() const { return steps_->steps.size() - firstStep_.back(); }

  // The open phase is left out, with its steps and the indexes its files got.
  void dropOpenPhase() {
    std::vector<JournalText::Step>& steps = steps_->steps;
    for (std::size_t k = firstStep_.back(); k < steps.size(); ++k)
      files_.unindex(steps[k].file, filesBefore_);
    files_.setIndexed(filesBefore_);
    steps.resize(firstStep_.back());
    firstStep_.pop_back();
    out_.phases.pop_back();
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
    firstStep_.push_back(steps_->steps.size());
    filesBefore_ = files_.indexed();
    open_ = true;
    planned_ = false;
    return true;
  }

  LineFit step(const Fields& f) {
    if (f.size() != 11 || !open_ || planned_) return LineFit::Bad;
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
    JournalText::Step s;
    s.file = *file;
    s.fileIndex = files_.index(*file);
    s.folder = *folder;
    s.group = *group;
    s.cycle = f[4] == "c";
    s.inode = *ino;
    s.size = *size;
    s.birth = *birth;
    // Where the fields are for now; finish() moves the names.
    s.from = static_cast<std::uint32_t>(f[9].data() - text_.data());
    s.fromSize = static_cast<std::uint32_t>(f[9].size());
    s.to = static_cast<std::uint32_t>(f[10].data() - text_.data());
    s.toSize = static_cast<std::uint32_t>(f[10].size());
    steps_->steps.push_back(s);
    return LineFit::Ok;
  }

  bool planned(const Fields& f) {
    if (f.size() != 2 || !open_ || planned_) return false;
    JournalPhase& phase = out_.phases.back();
    const auto n = number<std::size_t>(f[1]);
    if (!n || *n != openSteps()) return false;
    phase.states.assign(*n, StepState::Pending);
    planned_ = true;
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

  JournalRecord& out_;
  int version_;
  std::string_view text_;
  std::shared_ptr<JournalText> steps_;
  std::vector<std::size_t> firstStep_;  // per phase, its first step's place
  FileNumbers files_;
  std::uint32_t filesBefore_ = 0;  // files indexed before the open phase
  std::vector<bool> trusted_;      // per folder
  std::string fromScratch_, toScratch_;
  bool open_ = false, planned_ = false;
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

// Lines from a damaged one to the plan's end that look like steps: what a
// cut plan could not say.
int stepLinesFrom(std::string_view text) {
  int n = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::string_view rest = text.substr(pos);
    if (rest.starts_with("P ")) break;
    if (rest.starts_with("S ")) ++n;
    const auto nl = text.find('\n', pos);
    if (nl == std::string_view::npos) break;
    pos = nl + 1;
  }
  return n;
}

// Whether a line after the bad first one holds its checksum: the record
// went on past the damage.
bool anyGoodLineAfter(std::string_view text) {
  std::size_t pos = text.find('\n');
  while (pos != std::string_view::npos && pos + 1 < text.size()) {
    const auto nl = text.find('\n', pos + 1);
    if (nl == std::string_view::npos) break;
    if (checkedPayload(text.substr(pos + 1, nl - pos - 1))) return true;
    pos = nl;
  }
  return false;
}

}  // namespace

JournalRead parseJournal(std::string_view text, JournalRecord& out) {
  out = {};
  if (text.size() > kMaxJournalBytes) return JournalRead::Damaged;  // places in it must fit 32 bits
  const std::string_view magic = kJournalMagic;
  std::size_t pos = 0;
  const auto nextLine = [&](std::string_view& line) {
    const auto nl = text.find('\n', pos);
    if (nl == std::string_view::npos) return false;  // a cut last line counts as absent
    line = text.substr(pos, nl - pos);
    pos = nl + 1;
    return true;
  };
  std::string_view first;
  // A first line cut short: a pass that ended before its plan was written.
  if (!nextLine(first))
    return magic.starts_with(text.substr(0, magic.size())) ? JournalRead::NeverRan : JournalRead::Damaged;
  const int versionNumber = versionOf(first);
  if (versionNumber < 0) return JournalRead::Damaged;
  if (versionNumber == 0) return JournalRead::Unsupported;
  if (!checkedPayload(first)) return JournalRead::Damaged;

  Parser parser(out, versionNumber, text, stepLineCount(text));
  std::string_view line;
  std::size_t lineStart = pos;
  for (; nextLine(line); lineStart = pos) {
    const auto payload = checkedPayload(line);
    const LineFit fit = payload ? parser.line(*payload) : LineFit::Bad;
    if (fit == LineFit::Refused) {
      parser.finish();
      return JournalRead::Refused;
    }
    if (fit == LineFit::Bad) break;
  }
  out.goodBytes = lineStart;
  out.damaged = lineStart < text.size();
  parser.close(out.damaged);
  parser.finish();
  if (out.damaged && !out.phases.empty() && out.phases.back().planCut)
    out.unreadableSteps = stepLinesFrom(text.substr(lineStart));
  // No plan survived: a pass cut short while writing it renamed nothing; a
  // damaged line with steps after it hides a pass that may have.
  if (out.phases.empty())
    return out.damaged && anyGoodLineAfter(text.substr(lineStart)) ? JournalRead::Damaged
                                                                   : JournalRead::NeverRan;
  return JournalRead::Ok;
}

JournalRead readJournal(std::string_view path, JournalRecord& out) {
  out = {};
  const auto text = platform::readOwnFile(path, kMaxJournalBytes);
  if (!text) return platform::exists(path) ? JournalRead::Damaged : JournalRead::Missing;
  return parseJournal(*text, out);
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

}  // namespace qorin::rename
