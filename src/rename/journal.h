// The rename journal: what a pass is about to do, written and flushed before
// its first rename, and what it has done, appended as it goes. It stays as
// the undo record of the pass; an undo or a recovery appends its own phase.
//
// Text, one record a line: the fields, a tab, the CRC-32 of the fields in
// eight hex digits, a line feed. Names are code-page bytes with every byte up
// to 0x20, 0x7F and '%' written as %XX, so no name holds a blank or a line
// break. Records:
//   qorin-journal 1                     first line: format and version
//   F <index> <device> <inode> <dir>    a folder (device and inode in hex; version 1
//                                       wrote no inode)
//   B <pass|undo|keep>                  a phase begins
//   S <file> <folder> <group> <c|s> <device> <inode> <size> <birth> <from> <to>
//                                       a step, in execution order; c: part of
//                                       a cycle, whose first step goes to a
//                                       temporary name and whose last leaves it
//   P <steps>                           the plan is complete (and was flushed)
//   D <first> <last>                    steps done
//   X <step> <reason> <errno>           step failed (or was taken back)
//   E                                   the phase has ended
// A reader stops at the first line that fails its checksum or makes no
// sense: a crash leaves a cut last line, and what came before still counts.
// Completion records are hints only; the disk, checked by file identity,
// decides what really happened.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "filelist/file_list.h"
#include "platform/fs.h"

namespace qorin::rename {

inline constexpr int kJournalVersion = 2;

enum class PhaseKind : unsigned char { Pass, Undo, Keep };

struct JournalFolder {
  std::string dir;  // as the rows showed it, ending in the separator
  std::uint64_t device = 0;
  std::uint64_t inode = 0;  // 0 in a record of version 1, which kept none
};

// A step as planned and run; the names live elsewhere.
struct StepRef {
  std::uint32_t file = 0;  // the row of the pass that listed the file
  std::uint32_t folder = 0;
  std::uint32_t group = 0;
  bool cycle = false;
  platform::FileIdentity id;
  std::string_view from, to;
};

// A step as read back.
struct JournalStep {
  std::uint32_t file = 0;
  std::uint32_t folder = 0;
  std::uint32_t group = 0;
  bool cycle = false;
  platform::FileIdentity id;
  std::string from, to;
};

enum class StepState : unsigned char { Pending, Done, Failed };

struct JournalPhase {
  PhaseKind kind = PhaseKind::Pass;
  std::vector<JournalStep> steps;
  std::vector<StepState> states;
  bool ended = false;
};

struct JournalRecord {
  std::vector<JournalFolder> folders;
  std::vector<JournalPhase> phases;  // only those whose plan was complete
  bool damaged = false;              // lines after a bad one were ignored
};

enum class JournalRead { Missing, Ok, Damaged, Unsupported };

// Reads the journal at `path`. Damaged: not a journal, or no complete pass
// plan in it; Unsupported: a journal of another version. A complete plan
// left in the temporary beside it is newer (its commit was cut short or not
// yet on the disk) and is put in place first.
JournalRead readJournal(std::string_view path, JournalRecord& out);

// Parses journal text (the file's content).
JournalRead parseJournal(std::string_view text, JournalRecord& out);

// Builds journal lines.
class JournalLines {
 public:
  std::string& text() { return text_; }
  void header();
  void folder(std::uint32_t index, const JournalFolder& f);
  void begin(PhaseKind kind);
  void step(const StepRef& s);
  void planned(std::size_t steps);
  void done(std::size_t first, std::size_t last);
  void failed(std::size_t step, filelist::Reason reason, int error);
  void end();

 private:
  void finish(std::size_t lineStart);
  std::string text_;
};

std::uint32_t crc32(std::string_view bytes);

}  // namespace qorin::rename
