#include "rename/journal.h"

#include <array>
#include <charconv>
#include <limits>
#include <optional>
#include <unordered_set>

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

// Reads records into `out` until the text ends or stops making sense.
class Parser {
 public:
  Parser(JournalRecord& out, int version) : out_(out), version_(version) {}

  // False when the line does not fit where it stands.
  bool line(std::string_view payload) {
    const auto f = fieldsOf(payload);
    if (f[0].size() != 1) return false;
    switch (f[0][0]) {
      case 'F':
        return folder(f);
      case 'B':
        return begin(f);
      case 'S':
        return step(f);
      case 'P':
        return planned(f);
      case 'D':
        return done(f);
      case 'X':
        return failed(f);
      case 'E':
        return end(f);
      default:
        return false;
    }
  }

  // Phases whose plan was cut short never renamed anything.
  void close() {
    if (open_ && !planned_) out_.phases.pop_back();
    open_ = false;
  }

 private:
  bool folder(const std::vector<std::string_view>& f) {
    const std::size_t fields = version_ == 1 ? 4 : 5;
    if (f.size() != fields || !out_.phases.empty() || open_) return false;
    const auto index = number<std::uint32_t>(f[1]);
    const auto device = number<std::uint64_t>(f[2], 16);
    const auto inode = fields == 5 ? number<std::uint64_t>(f[3], 16) : std::optional<std::uint64_t>(0);
    auto dir = unescape(f[fields - 1]);
    if (!index || *index != out_.folders.size() || !device || !inode || !dir) return false;
    out_.folders.push_back({std::move(*dir), *device, *inode});
    return true;
  }

  bool begin(const std::vector<std::string_view>& f) {
    if (f.size() != 2) return false;
    const auto kind = kindOf(f[1]);
    if (!kind) return false;
    close();
    // Only the first phase is a pass; later ones work on its files.
    if ((*kind == PhaseKind::Pass) != out_.phases.empty()) return false;
    out_.phases.push_back({});
    out_.phases.back().kind = *kind;
    open_ = true;
    planned_ = false;
    return true;
  }

  bool step(const std::vector<std::string_view>& f) {
    if (f.size() != 11 || !open_ || planned_) return false;
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
        !dev || !ino || !size || !birth || !from || !to || from->empty() || to->empty())
      return false;
    JournalPhase& phase = out_.phases.back();
    if (phase.kind == PhaseKind::Pass) {
      files_.insert(*file);
    } else if (!files_.contains(*file)) {
      return false;
    }
    s.file = *file;
    s.folder = *folder;
    s.group = *group;
    s.cycle = f[4] == "c";
    s.id = {*dev, *ino, *size, *birth};
    s.from = std::move(*from);
    s.to = std::move(*to);
    phase.steps.push_back(std::move(s));
    return true;
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
    if (f.size() != 1 || !phase) return false;
    phase->ended = true;
    return true;
  }

  JournalRecord& out_;
  int version_;
  std::unordered_set<std::uint32_t> files_;
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
  if (!nextLine(first) || !first.starts_with(kMagic) || first.size() <= kMagic.size() ||
      first[kMagic.size()] != ' ')
    return JournalRead::Damaged;
  const std::string_view rest = first.substr(kMagic.size() + 1);
  const std::string_view version = rest.substr(0, rest.find_first_of(" \t"));
  // Version 1 differs only in its folder lines, which name no inode.
  const int versionNumber = version == "1"                               ? 1
                            : version == std::to_string(kJournalVersion) ? kJournalVersion
                                                                         : 0;
  if (versionNumber == 0) return JournalRead::Unsupported;
  if (!checkedPayload(first)) return JournalRead::Damaged;

  Parser parser(out, versionNumber);
  std::string_view line;
  while (nextLine(line)) {
    const auto payload = checkedPayload(line);
    if (!payload || !parser.line(*payload)) {
      out.damaged = true;
      break;
    }
  }
  parser.close();
  if (out.phases.empty()) return JournalRead::Damaged;
  return JournalRead::Ok;
}

JournalRead readJournal(std::string_view path, JournalRecord& out) {
  out = {};
  const std::string temporary = std::string(path) + ".new";
  if (const auto text = platform::readFile(temporary, kMaxJournalBytes)) {
    JournalRecord fresh;
    if (parseJournal(*text, fresh) == JournalRead::Ok) platform::replaceFile(temporary, path);
  }
  if (!platform::exists(path)) return JournalRead::Missing;
  const auto text = platform::readFile(path, kMaxJournalBytes);
  if (!text) return JournalRead::Damaged;
  return parseJournal(*text, out);
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

void JournalLines::end() {
  const std::size_t start = text_.size();
  text_ += 'E';
  finish(start);
}

}  // namespace qorin::rename
