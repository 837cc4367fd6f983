// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a journal (its reading is in journal_read.cpp).
#include "rename/journal.h"

#include <array>
#include <cassert>
#include <charconv>
#include <iterator>

#include "rename/journal_fields.h"
#include "rename/plan.h"

namespace qorin::rename {

namespace {

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

template <class T>
void appendNumber(std::string& out, T v, int base = 10) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, base);
  // By length: append(first, last) goes through replace(), whose inlined copy
  // GCC 12 at -O3 takes for an overlapping one (-Wrestrict).
  out.append(buf, static_cast<std::size_t>(r.ptr - buf));
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

void JournalLines::finish(std::size_t lineStart) {
  const std::uint32_t sum = crc32(std::string_view(text_).substr(lineStart));
  text_ += '\t';
  for (int shift = 28; shift >= 0; shift -= 4) text_ += kHex[(sum >> shift) & 15];
  text_ += '\n';
}

void JournalLines::header() {
  const std::size_t start = text_.size();
  text_ += kJournalMagic;
  text_ += ' ';
  appendNumber(text_, kJournalVersion);
  finish(start);
}

void JournalLines::folder(std::uint32_t index, const JournalFolder& f) {
  // The reader refuses a folder its steps use unless it is canonical: the
  // add flows make it so, and one that was never opened has no steps.
  assert(f.inode == 0 || detail::fields::canonicalFolder(f.dir));
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

namespace {

// The numbers records have always written for the pass's reasons.
int recordedNumber(Outcome reason) {
  static constexpr unsigned char kNumbers[] = {1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 21};
  static constexpr unsigned char kListNumbers[] = {27, 16, 17};
  static_assert(std::size(kNumbers) == static_cast<std::size_t>(RenameCode::kCount));
  static_assert(std::size(kListNumbers) == static_cast<std::size_t>(filelist::ListCode::kCount));
  if (reason.none()) return 0;
  if (reason.producer() == filelist::Producer::List) return kListNumbers[reason.code()];
  if (reason.producer() != filelist::Producer::Rename) return 8;  // a rule's: the file could not be read
  return kNumbers[reason.code()];
}

}  // namespace

void JournalLines::failed(std::size_t step, Outcome reason, int error) {
  const std::size_t start = text_.size();
  text_ += "X ";
  appendNumber(text_, step);
  text_ += ' ';
  appendNumber(text_, recordedNumber(reason));
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

void JournalLines::intent(char kind, std::size_t step, bool back) {
  text_ += kind;
  text_ += ' ';
  appendNumber(text_, step);
  text_ += back ? " f" : " t";
}

void JournalLines::linking(std::size_t step, bool back) {
  const std::size_t start = text_.size();
  intent('L', step, back);
  finish(start);
}

void JournalLines::claiming(std::size_t step, bool back) {
  const std::size_t start = text_.size();
  intent('H', step, back);
  finish(start);
}

void JournalLines::claimed(std::size_t step, bool back, std::uint64_t inode) {
  const std::size_t start = text_.size();
  intent('H', step, back);
  text_ += ' ';
  appendNumber(text_, inode, 16);
  finish(start);
}

}  // namespace qorin::rename
