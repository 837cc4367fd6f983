// SPDX-License-Identifier: GPL-3.0-or-later
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
//   P <steps>                           the plan so far is complete (and was
//                                       flushed). From version 4 a pass's plan
//                                       may come in parts: more S lines after
//                                       a P, ended by a P that counts them all
//   D <first> <last>                    steps done
//   X <step> <reason> <errno>           step failed (or was taken back)
//   E <pending>                         the phase has ended, leaving <pending>
//                                       files away from their first names that
//                                       an undo can reach (version 2 and
//                                       earlier wrote a bare E)
//   L <step> <t|f>                      the link way is about to make the
//                                       step's `to` (t), or its `from` (f: a
//                                       cycle taken back), a second name of
//                                       the step's file; synced before it acts
//   H <step> <t|f>                      the placeholder way is about to claim
//                                       that name with an empty file; synced
//   H <step> <t|f> <inode>              the claim made: the placeholder's inode
//                                       (0: none was made), before the rename
//                                       over it. L and H lines came with
//                                       version 5; an undo may add them to a
//                                       record of version 3 or 4
// A reader stops at the first line that fails its checksum or makes no
// sense: a crash leaves a cut last line, and what came before still counts.
// Before anything is appended the record is cut after its last good line.
// A plan damaged on the disk is read up to its last good line. Completion
// records are hints only; the disk, checked by file identity, decides what
// really happened. Nothing read is trusted: a step name that no file could
// have, a folder that is no absolute, normalised path, or a step on another
// device than its folder makes the whole record refused. After a kill, the
// L and H lines of the phase cut short tell the recovery which second name
// or empty file under a user's name is its own to remove.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filelist/file_list.h"
#include "platform/fs_types.h"
#include "platform/names.h"

namespace qorin::rename {

inline constexpr int kJournalVersion = 5;
inline constexpr std::string_view kJournalMagic = "qorin-journal";  // the first line's first word

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
  bool missing = false;  // no file was there to take the identity of: the step fails unrun
};

// A step as read back. Its names are views into the record's names
// (JournalText), which the record and each of its phases keep.
struct JournalStep {
  std::uint32_t file = 0;
  std::uint32_t folder = 0;
  std::uint32_t group = 0;
  bool cycle = false;
  platform::FileIdentity id;
  std::string_view from, to;
  // The file's place among the record's files, numbered in the order the
  // record first names them: an index for tables per file.
  std::uint32_t fileIndex = 0;
};

// What a record read back rests on. The file is read a piece at a time;
// the names of its steps are unescaped and packed, each step's `to` right
// after its `from`, into `names`, and each step keeps where they are. A
// file keeps its number and never leaves its folder, so both are kept once
// per file. A million steps take some 48 bytes each, and their names.
struct JournalText {
  // A name longer than this is no name of a file system's.
  static constexpr std::size_t kLongestName = 0x7FFF;
  struct Step {
    std::uint32_t fileIndex = 0, group = 0;
    std::uint32_t from = 0;  // in `names`; `to` follows
    std::uint16_t fromSize = 0;
    std::uint16_t toSize : 15 = 0;
    std::uint16_t cycle : 1 = 0;
    std::uint64_t inode = 0, size = 0, birth = 0;
  };
  struct File {
    std::uint32_t number = 0;  // the row of the pass that listed it
    std::uint32_t folder = 0;
  };
  std::string names;
  std::vector<std::uint64_t> devices;  // per folder: a step's file is on its folder's device
  std::vector<File> files;             // by fileIndex
  std::vector<Step> steps;             // of every phase, in the record's order: a step's place

  std::uint32_t folderOf(const Step& s) const { return files[s.fileIndex].folder; }
  std::string_view from(std::size_t place) const {
    const Step& s = steps[place];
    return {names.data() + s.from, s.fromSize};
  }
  std::string_view to(std::size_t place) const {
    const Step& s = steps[place];
    return {names.data() + s.from + s.fromSize, s.toSize};
  }
  JournalStep step(std::size_t place) const {
    const Step& s = steps[place];
    JournalStep out;
    out.file = files[s.fileIndex].number;
    out.folder = folderOf(s);
    out.group = s.group;
    out.cycle = s.cycle != 0;
    out.id = {devices[out.folder], s.inode, s.size, s.birth};
    out.from = from(place);
    out.to = to(place);
    out.fileIndex = s.fileIndex;
    return out;
  }
};
static_assert(sizeof(JournalText::Step) == 40);

// The steps of one phase: a run of JournalText::steps, read as JournalStep
// values.
class JournalSteps {
 public:
  class Iterator {
   public:
    using value_type = JournalStep;
    using difference_type = std::ptrdiff_t;
    Iterator() = default;
    Iterator(const JournalText* text, std::size_t place) : text_(text), place_(place) {}
    JournalStep operator*() const { return text_->step(place_); }
    Iterator& operator++() {
      ++place_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator was = *this;
      ++place_;
      return was;
    }
    bool operator==(const Iterator& o) const { return place_ == o.place_; }

   private:
    const JournalText* text_ = nullptr;
    std::size_t place_ = 0;
  };

  JournalSteps() = default;
  JournalSteps(std::shared_ptr<const JournalText> text, std::size_t first, std::size_t count)
      : text_(std::move(text)), first_(first), count_(count) {}

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  JournalStep operator[](std::size_t k) const { return text_->step(first_ + k); }
  // The step's place among all the record's steps.
  std::size_t place(std::size_t k) const { return first_ + k; }
  Iterator begin() const { return {text_.get(), first_}; }
  Iterator end() const { return {text_.get(), first_ + count_}; }

 private:
  std::shared_ptr<const JournalText> text_;
  std::size_t first_ = 0, count_ = 0;
};

enum class StepState : unsigned char { Pending, Done, Failed };

struct JournalPhase {
  PhaseKind kind = PhaseKind::Pass;
  JournalSteps steps;
  std::vector<StepState> states;
  bool ended = false;
  // Its plan was cut by a damaged line: the steps read are all it has, and
  // the first append completes the plan with them.
  bool planCut = false;
};

// What a rename of the link or the placeholder way said it was about to do.
struct JournalIntent {
  std::uint32_t step = 0;   // in its phase
  bool link = false;        // L; otherwise H
  bool back = false;        // the name it makes is the step's `from`
  bool claimed = false;     // H: the line after the claim came
  std::uint64_t inode = 0;  // with `claimed`: the placeholder's (0: none was made)
};

struct JournalRecord {
  std::vector<JournalFolder> folders;
  std::vector<JournalPhase> phases;    // those whose plan was complete, or cut by damage
  std::vector<JournalIntent> intents;  // of the last phase, in the record's order
  bool damaged = false;                // lines after a bad one were ignored
  std::uint64_t goodBytes = 0;         // where the last good line ends: appends start there
  int unreadableSteps = 0;             // steps of a cut plan that could not be read
  // The files its steps name (JournalStep::fileIndex runs below it).
  std::uint32_t files = 0;
  // The steps and their names, shared by the phases.
  std::shared_ptr<const JournalText> text;
};

enum class JournalRead {
  Missing,
  Ok,
  NeverRan,     // no complete plan and nothing after it: a pass that renamed nothing
  Damaged,      // not a journal
  Unsupported,  // a journal of another version
  Refused,      // names or folders no pass of ours could have written
};

// Reads the journal at `path` (a regular file; a link is not followed).
JournalRead readJournal(std::string_view path, JournalRecord& out);

// What the end of the journal tells without reading the rest: whether its
// last phase ended, and how many files it left for an undo.
struct JournalPeek {
  JournalRead read = JournalRead::Missing;
  bool ended = false;         // the last line is a version-3 end record
  std::uint64_t pending = 0;  // with `ended`
};
JournalPeek peekJournal(std::string_view path);

// The folders a record names, read from its head alone (the lines before
// its first phase); nothing when it is no record this version reads.
std::optional<std::vector<JournalFolder>> readJournalFolders(std::string_view path);

// Parses journal text (the file's content). A text over 1 GiB, more than
// readJournal takes, is Damaged.
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
  void failed(std::size_t step, filelist::Outcome reason, int error);
  void end(std::size_t pending);
  void linking(std::size_t step, bool back);
  void claiming(std::size_t step, bool back);
  void claimed(std::size_t step, bool back, std::uint64_t inode);

 private:
  void intent(char kind, std::size_t step, bool back);
  void finish(std::size_t lineStart);
  std::string text_;
};

std::uint32_t crc32(std::string_view bytes);

}  // namespace qorin::rename
