#include "rename/journal.h"

#include <array>
#include <charconv>
#include <limits>
#include <optional>
#include <unordered_set>

#include "platform/record_file.h"
#include "rename/plan.h"
#include "text/gbtext.h"

namespace qorin::rename {

namespace {

constexpr std::string_view kMagic = "qorin-journal";
constexpr std::size_t kMaxJournalBytes = std::size_t{1} << 30;

// Eight tables, so the checksum takes eight bytes a step: a pass writes a
// line for every file before its first rename.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;
constexpr CrcTables makeCrcTables() {
  CrcTables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (std::uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}
constexpr CrcTables kCrc = makeCrcTables();

constexpr char kHex[] = "0123456789abcdef";

bool needsEscape(unsigned char c) { return c <= 0x20 || c == 0x7F || c == '%'; }

void appendEscaped(std::string& out, std::string_view name) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (!needsEscape(c)) continue;
    out.append(name.data() + run, i - run);
    const char esc[3] = {'%', kHex[c >> 4], kHex[c & 15]};
    out.append(esc, 3);
    run = i + 1;
  }
  out.append(name.data() + run, name.size() - run);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return std::nullopt;
    const int hi = hexDigit(field[i + 1]), lo = hexDigit(field[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi << 4 | lo);
    i += 2;
  }
  return out;
}

template <class T>
void appendNumber(std::string& out, T v, int base = 10) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, base);
  out.append(buf, r.ptr);
}

template <class T>
std::optional<T> number(std::string_view field, int base = 10) {
  T v{};
  const auto r = std::from_chars(field.data(), field.data() + field.size(), v, base);
  if (r.ec != std::errc() || r.ptr != field.data() + field.size() || field.empty()) return std::nullopt;
  return v;
}

std::vector<std::string_view> fieldsOf(std::string_view payload) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (;;) {
    const auto sp = payload.find(' ', start);
    out.push_back(payload.substr(start, sp - start));
    if (sp == std::string_view::npos) break;
    start = sp + 1;
  }
  return out;
}

const char* kindName(PhaseKind k) {
  switch (k) {
    case PhaseKind::Pass:
      return "pass";
    case PhaseKind::Undo:
      return "undo";
    case PhaseKind::Keep:
      return "keep";
  }
  return "pass";
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

enum class LineFit : unsigned char { Ok, Bad, Refused };

// Reads records into `out` until the text ends or stops making sense.
class Parser {
 public:
  Parser(JournalRecord& out, int version) : out_(out), version_(version) {}

  // Bad when the line does not fit where it stands; Refused when it fits
  // but names what no pass of ours could have written.
  LineFit line(std::string_view payload) {
    const auto f = fieldsOf(payload);
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
      if (cutByDamage && !phase.steps.empty()) {
        phase.states.assign(phase.steps.size(), StepState::Pending);
        phase.planCut = true;
      } else {
        out_.phases.pop_back();
      }
    }
    open_ = false;
  }

 private:
  static LineFit fit(bool ok) { return ok ? LineFit::Ok : LineFit::Bad; }

  LineFit folder(const std::vector<std::string_view>& f) {
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

  bool begin(const std::vector<std::string_view>& f) {
    if (f.size() != 2) return false;
    const auto kind = kindOf(f[1]);
    if (!kind) return false;
    close(false);
    // Only the first phase is a pass; later ones work on its files.
    if ((*kind == PhaseKind::Pass) != out_.phases.empty()) return false;
    out_.phases.push_back({});
    out_.phases.back().kind = *kind;
    open_ = true;
    planned_ = false;
    return true;
  }

  LineFit step(const std::vector<std::string_view>& f) {
    if (f.size() != 11 || !open_ || planned_) return LineFit::Bad;
    JournalStep s;
    const auto file = number<std::uint32_t>(f[1]);
    const auto folder = number<std::uint32_t>(f[2]);
    const auto group = number<std::uint32_t>(f[3]);
    const auto dev = number<std::uint64_t>(f[5], 16);
    const auto ino = number<std::uint64_t>(f[6], 16);
    const auto size = number<std::uint64_t>(f[7], 16);
    const auto birth = number<std::uint64_t>(f[8], 16);
    auto from = unescape(f[9]);
    auto to = unescape(f[10]);
    if (!file || !folder || *folder >= out_.folders.size() || !group || (f[4] != "c" && f[4] != "s") ||
        !dev || !ino || !size || !birth || !from || !to)
      return LineFit::Bad;
    // A name with a separator or "..", or a file on another device than its
    // folder, would reach outside the folder the user listed.
    if (!trusted_[*folder] || !trustedName(*from) || !trustedName(*to) ||
        *dev != out_.folders[*folder].device)
      return LineFit::Refused;
    JournalPhase& phase = out_.phases.back();
    if (phase.kind == PhaseKind::Pass) {
      files_.insert(*file);
    } else if (!files_.contains(*file)) {
      return LineFit::Bad;
    }
    s.file = *file;
    s.folder = *folder;
    s.group = *group;
    s.cycle = f[4] == "c";
    s.id = {*dev, *ino, *size, *birth};
    s.from = std::move(*from);
    s.to = std::move(*to);
    phase.steps.push_back(std::move(s));
    return LineFit::Ok;
  }

  bool planned(const std::vector<std::string_view>& f) {
    if (f.size() != 2 || !open_ || planned_) return false;
    JournalPhase& phase = out_.phases.back();
    const auto n = number<std::size_t>(f[1]);
    if (!n || *n != phase.steps.size()) return false;
    phase.states.assign(*n, StepState::Pending);
    planned_ = true;
    return true;
  }

  JournalPhase* running() {
    return open_ && planned_ && !out_.phases.back().ended ? &out_.phases.back() : nullptr;
  }

  bool done(const std::vector<std::string_view>& f) {
    JournalPhase* phase = running();
    if (f.size() != 3 || !phase) return false;
    const auto first = number<std::size_t>(f[1]), last = number<std::size_t>(f[2]);
    if (!first || !last || *first > *last || *last >= phase->steps.size()) return false;
    for (std::size_t i = *first; i <= *last; ++i) phase->states[i] = StepState::Done;
    return true;
  }

  bool failed(const std::vector<std::string_view>& f) {
    JournalPhase* phase = running();
    if (f.size() != 4 || !phase) return false;
    const auto step = number<std::size_t>(f[1]);
    if (!step || *step >= phase->steps.size() || !number<int>(f[2]) || !number<int>(f[3])) return false;
    phase->states[*step] = StepState::Failed;
    return true;
  }

  bool end(const std::vector<std::string_view>& f) {
    JournalPhase* phase = running();
    if (!phase || f.size() != (version_ >= 3 ? 2u : 1u)) return false;
    if (version_ >= 3 && !number<std::uint64_t>(f[1])) return false;
    phase->ended = true;
    return true;
  }

  JournalRecord& out_;
  int version_;
  std::unordered_set<std::uint32_t> files_;
  std::vector<bool> trusted_;  // per folder
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

}  // namespace

std::uint32_t crc32(std::string_view bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  for (; n >= 8; n -= 8, p += 8) {
    const std::uint32_t lo =
        c ^ (static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
             static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
    c = kCrc[7][lo & 0xFF] ^ kCrc[6][(lo >> 8) & 0xFF] ^ kCrc[5][(lo >> 16) & 0xFF] ^ kCrc[4][lo >> 24] ^
        kCrc[3][p[4]] ^ kCrc[2][p[5]] ^ kCrc[1][p[6]] ^ kCrc[0][p[7]];
  }
  for (; n > 0; --n, ++p) c = kCrc[0][(c ^ *p) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

namespace {

// The version a first line names: 0 when it is not one this program reads.
int versionOf(std::string_view first) {
  if (!first.starts_with(kMagic) || first.size() <= kMagic.size() || first[kMagic.size()] != ' ') return -1;
  const std::string_view rest = first.substr(kMagic.size() + 1);
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
    return kMagic.starts_with(text.substr(0, kMagic.size())) ? JournalRead::NeverRan : JournalRead::Damaged;
  const int versionNumber = versionOf(first);
  if (versionNumber < 0) return JournalRead::Damaged;
  if (versionNumber == 0) return JournalRead::Unsupported;
  if (!checkedPayload(first)) return JournalRead::Damaged;

  Parser parser(out, versionNumber);
  std::string_view line;
  std::size_t lineStart = pos;
  for (; nextLine(line); lineStart = pos) {
    const auto payload = checkedPayload(line);
    const LineFit fit = payload ? parser.line(*payload) : LineFit::Bad;
    if (fit == LineFit::Refused) return JournalRead::Refused;
    if (fit == LineFit::Bad) break;
  }
  out.goodBytes = lineStart;
  out.damaged = lineStart < text.size();
  parser.close(out.damaged);
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

void JournalLines::finish(std::size_t lineStart) {
  const std::uint32_t sum = crc32(std::string_view(text_).substr(lineStart));
  text_ += '\t';
  for (int shift = 28; shift >= 0; shift -= 4) text_ += kHex[(sum >> shift) & 15];
  text_ += '\n';
}

void JournalLines::header() {
  const std::size_t start = text_.size();
  text_ += kMagic;
  text_ += ' ';
  appendNumber(text_, kJournalVersion);
  finish(start);
}

void JournalLines::folder(std::uint32_t index, const JournalFolder& f) {
  const std::size_t start = text_.size();
  text_ += "F ";
  appendNumber(text_, index);
  text_ += ' ';
  appendNumber(text_, f.device, 16);
  text_ += ' ';
  appendNumber(text_, f.inode, 16);
  text_ += ' ';
  appendEscaped(text_, f.dir);
  finish(start);
}

void JournalLines::begin(PhaseKind kind) {
  const std::size_t start = text_.size();
  text_ += "B ";
  text_ += kindName(kind);
  finish(start);
}

void JournalLines::step(const StepRef& s) {
  const std::size_t start = text_.size();
  text_ += "S ";
  appendNumber(text_, s.file);
  text_ += ' ';
  appendNumber(text_, s.folder);
  text_ += ' ';
  appendNumber(text_, s.group);
  text_ += s.cycle ? " c " : " s ";
  appendNumber(text_, s.id.device, 16);
  text_ += ' ';
  appendNumber(text_, s.id.inode, 16);
  text_ += ' ';
  appendNumber(text_, s.id.size, 16);
  text_ += ' ';
  appendNumber(text_, s.id.birth, 16);
  text_ += ' ';
  appendEscaped(text_, s.from);
  text_ += ' ';
  appendEscaped(text_, s.to);
  finish(start);
}

void JournalLines::planned(std::size_t steps) {
  const std::size_t start = text_.size();
  text_ += "P ";
  appendNumber(text_, steps);
  finish(start);
}

void JournalLines::done(std::size_t first, std::size_t last) {
  const std::size_t start = text_.size();
  text_ += "D ";
  appendNumber(text_, first);
  text_ += ' ';
  appendNumber(text_, last);
  finish(start);
}

void JournalLines::failed(std::size_t step, filelist::Reason reason, int error) {
  const std::size_t start = text_.size();
  text_ += "X ";
  appendNumber(text_, step);
  text_ += ' ';
  appendNumber(text_, static_cast<int>(reason));
  text_ += ' ';
  appendNumber(text_, error);
  finish(start);
}

void JournalLines::end(std::size_t pending) {
  const std::size_t start = text_.size();
  text_ += "E ";
  appendNumber(text_, pending);
  finish(start);
}

}  // namespace qorin::rename
