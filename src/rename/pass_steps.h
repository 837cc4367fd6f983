// SPDX-License-Identifier: GPL-3.0-or-later
// The steps of a pass, an undo or a recovery as they run: the runner that
// renames them in order and records their completion, and what it needs.
// Used by rename_pass.cpp and record_replay.cpp only.
#pragma once

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/fs.h"
#include "platform/record_file.h"
#include "rename/journal.h"
#include "rename/plan.h"
#include "rename/rename_pass.h"

namespace qorin::rename::detail {

// Up to this many names of interest a folder is asked name by name; beyond
// it one listing is cheaper.
inline constexpr std::size_t kProbeLimit = 512;

// Completion records reach the journal file at least this often.
inline constexpr std::size_t kFlushSteps = 1000;
inline constexpr auto kFlushInterval = std::chrono::milliseconds(500);

class ProgressMarks {
 public:
  ProgressMarks(int total, const ProgressFn& fn) : total_(total), fn_(fn) {}

  void after(int done) {
    const int marks = progressMarks(done, total_);
    if (marks <= last_) return;
    last_ = marks;
    if (fn_) fn_(done, total_);
  }

 private:
  int total_;
  const ProgressFn& fn_;
  int last_ = 0;
};

// The verdict of one rename.
Verdict verdictOf(const platform::Folder::Outcome& o);
// A name of our own in the folder, asked of the folder itself: with 64
// random bits it meets no existing name, and the rename to it could not
// replace one anyway.
std::string temporaryName(std::mt19937_64& rng, const platform::Folder& folder);
// Which names exist in a folder. With many names of interest the folder is
// listed once and only each name's hash is kept (8 bytes a name, where a set
// of the names takes about a hundred); a target found by its hash is
// confirmed by the folder, as a wrong "taken" would fail its row, while a
// wrong "there" for a source only fails its rename. With few names, or a
// folder that cannot be listed, each name is asked for.
class FolderNames {
 public:
  FolderNames(const platform::Folder& folder, std::size_t interest);
  // The names as a listing made just before saw them, kept by the caller.
  FolderNames(const platform::Folder& folder, const NameHashes& listed)
      : folder_(folder), given_(&listed), listed_(true) {}
  bool hasSource(std::string_view name) const;
  bool hasTarget(std::string_view name) const;

 private:
  bool listedHas(std::string_view name) const;

  const platform::Folder& folder_;
  // The hashes sorted, and where each run of equal top bits begins: a
  // lookup reads a few neighbours, and nothing is kept beside the hashes
  // but a four-byte start per four names.
  std::vector<std::uint64_t> hashes_;
  std::vector<std::uint32_t> bucket_;
  unsigned shift_ = 64;
  const NameHashes* given_ = nullptr;
  bool listed_ = false;
};
// A case-only change where the file system finds the file itself under the new spelling.
bool targetIsItself(const platform::Folder& folder, std::string_view from, std::string_view to);
// The file is still the one the record describes.
bool sameFile(const platform::FileIdentity& found, const platform::FileIdentity& recorded);

// Where a plan's folders are: the dir text, and the folder its files were
// found in, so that nothing is renamed in a folder put in its place.
struct RunFolder {
  std::string dir;
  platform::FileIdentity identity;  // device and inode; inode 0: not known
  bool byPathOnly = false;          // a record that kept no inode: the path alone decides

  platform::Folder openAsAdded() const {
    if (byPathOnly) return platform::Folder(dir);
    return identity.inode ? platform::Folder(dir, identity) : platform::Folder();
  }
};

// Why nothing can be renamed in a folder that did not open.
Verdict folderVerdict(const platform::Folder& f);

struct StepOutcome {
  Verdict verdict;
  bool done = false;
};

// Writes to the record, synced, what a rename of the link or the placeholder
// way is about to do (see journal.h), for the step the runner is at. A
// forward step whose intent cannot be written is not made; a cycle taken
// back goes on without it, so no file keeps a temporary name for want of a
// line.
class StepIntents final : public platform::RenameIntents {
 public:
  explicit StepIntents(platform::RecordWriter& journal) : journal_(journal) {}
  // The step renamed next, and whether it goes back from its `to`.
  void at(std::size_t step, bool back = false) {
    step_ = step;
    back_ = back;
  }
  int linking() override;
  int claiming() override;
  void claimed(std::uint64_t inode) override;

 private:
  int written(bool sync);
  platform::RecordWriter& journal_;
  JournalLines lines_;
  std::size_t step_ = 0;
  bool back_ = false;
};

// Runs the steps of one phase whose plan is in the journal, recording their
// completion as it goes. `Steps` gives size() and, per index, a StepRef
// (a vector of them, or steps made on demand from a plan's rows).
template <class Steps>
class PhaseRunnerOf {
 public:
  PhaseRunnerOf(platform::RecordWriter& journal, const Steps& steps, const std::vector<RunFolder>& folders,
                const StopFn& stop, platform::RenameWays& ways)
      : journal_(journal), steps_(steps), folders_(folders), stop_(stop), ways_(ways), out_(steps.size()) {
    ways_.setIntents(&intents_);
  }
  ~PhaseRunnerOf() { ways_.setIntents(outerIntents_); }
  PhaseRunnerOf(const PhaseRunnerOf&) = delete;
  PhaseRunnerOf& operator=(const PhaseRunnerOf&) = delete;

  // `settled(files)` after each group, with the number of files it moved or
  // failed. Asked to stop, it ends after the file at hand, or after a cycle
  // caught half way; the steps not reached are Stopped, not done, and left
  // pending in the journal.
  // `planned(end)`, before a group ending at `end` runs, sees that its
  // steps are in the journal; false when the journal refused them.
  template <class Settled, class Planned>
  std::vector<StepOutcome> run(Settled settled, Planned planned) {
    lastFlush_ = std::chrono::steady_clock::now();
    for (std::size_t b = 0; b < steps_.size();) {
      std::size_t e = b + 1;
      while (e < steps_.size() && groupAt(e) == groupAt(b)) ++e;
      if (stopped_) {
        for (std::size_t k = b; k < e; ++k) out_[k].verdict = {why::Stopped, 0};
      } else {
        if (!broken_ && !planned(e)) {
          broken_ = true;
          error_ = journal_.error();
        }
        const std::size_t ran = runGroup(b, e);
        settled(steps_[b].cycle ? e - b - 1 : ran);
      }
      b = e;
    }
    emitRange();
    return std::move(out_);
  }
  template <class Settled>
  std::vector<StepOutcome> run(Settled settled) {
    return run(settled, [](std::size_t) { return true; });
  }

  bool stopped() const { return stopped_; }

  // Writes what is pending; false when the journal refused.
  bool flush() {
    emitRange();
    sinceFlush_ = 0;
    lastFlush_ = std::chrono::steady_clock::now();
    if (lines_.text().empty() || broken_) return !broken_;
    if (!journal_.write(lines_.text())) {
      broken_ = true;
      error_ = journal_.error();
    }
    lines_.text().clear();
    return !broken_;
  }

  JournalLines& lines() { return lines_; }
  bool broken() const { return broken_; }
  int error() const { return error_; }

 private:
  // A step's group without making the whole step, which for a plan's steps
  // means its names and identity: asked twice a step.
  std::uint32_t groupAt(std::size_t k) const {
    if constexpr (requires { steps_.groupOf(k); }) {
      return steps_.groupOf(k);
    } else {
      return steps_[k].group;
    }
  }

  // The user may want to stop; asked after every file.
  bool askStop() {
    if (!wantStop_ && stop_ && stop_()) wantStop_ = true;
    return wantStop_;
  }

  // Returns how many of the group's steps were settled.
  std::size_t runGroup(std::size_t b, std::size_t e) {
    // A journal that stopped taking records stops the renames, at a group
    // boundary so that no cycle is left half way.
    if (broken_) {
      failAll(b, e, {why::SystemError, error_}, false);
      return e - b;
    }
    const StepRef first = steps_[b];
    if (!openFolder(first.folder)) {
      failAll(b, e, folderVerdict_, true);
      stopped_ = askStop();
      return e - b;
    }
    if (!first.cycle) {
      // From the free end: each step frees the name the next one needs, so
      // the chain may stop after any of them.
      for (std::size_t k = b; k < e; ++k) {
        const Verdict v = renameStep(k);
        if (!v.reason.none()) {
          out_[k].verdict = v;
          failed(k);
          for (std::size_t j = k + 1; j < e; ++j) {
            out_[j].verdict = {why::TargetExists, 0};
            failed(j);
          }
          stopped_ = askStop();
          return e - b;
        }
        if (askStop() && k + 1 < e) {
          stopped_ = true;
          for (std::size_t j = k + 1; j < e; ++j) out_[j].verdict = {why::Stopped, 0};
          return k + 1 - b;
        }
      }
      stopped_ = wantStop_;
      return e - b;
    }
    // A cycle runs to its end (or is taken back) before a stop.
    const auto endCycle = [&] {
      stopped_ = wantStop_;
      return e - b;
    };
    for (std::size_t k = b; k < e; ++k) {
      const Verdict v = renameStep(k);
      askStop();
      if (v.reason.none()) continue;
      // Take the cycle back, newest first, so no file keeps the temporary
      // name; each only while its file is still the one moved.
      for (std::size_t j = k; j-- > b;) {
        const StepRef s = steps_[j];
        if (!checkAt(s.to, s.id).reason.none()) break;
        intents_.at(j, true);
        if (folder_.rename(s.to, s.from).result != platform::RenameResult::Renamed) break;
        out_[j].done = false;
      }
      for (std::size_t j = b; j < e; ++j) {
        out_[j].verdict = v;
        if (!out_[j].done) failed(j);
      }
      return endCycle();
    }
    return endCycle();
  }

  // Whether the file at `name` is the one planned or recorded, asked
  // through the open folder just before it is renamed: another program
  // may have put a file of its own there meanwhile.
  Verdict checkAt(std::string_view name, const platform::FileIdentity& id) const {
    const auto found = folder_.identityOf(name);
    if (!found) return {why::SourceMissing, 0};
    return sameFile(*found, id) ? Verdict{} : Verdict{why::ChangedByOther, 0};
  }

  Verdict renameStep(std::size_t k) {
    const StepRef s = steps_[k];
    if (s.missing) return {why::SourceMissing, 0};
    if (const Verdict c = checkAt(s.from, s.id); !c.reason.none()) return c;
    intents_.at(k);
    const Verdict v = verdictOf(folder_.rename(s.from, s.to));
    if (v.reason.none()) {
      out_[k].done = true;
      doneStep(k);
    }
    return v;
  }

  bool openFolder(std::uint32_t index) {
    if (index == openIndex_) return folderOk_;
    openIndex_ = index;
    folder_ = folders_[index].openAsAdded();
    folder_.shareWays(ways_);
    folderOk_ = folder_.isOpen();
    folderVerdict_ = folderVerdict(folder_);
    return folderOk_;
  }

  void failAll(std::size_t b, std::size_t e, Verdict v, bool record) {
    for (std::size_t k = b; k < e; ++k) {
      out_[k].verdict = v;
      if (record) failed(k);
    }
  }

  void doneStep(std::size_t k) {
    if (rangeFirst_ >= 0 && static_cast<std::size_t>(rangeLast_) + 1 != k) emitRange();
    if (rangeFirst_ < 0) rangeFirst_ = static_cast<std::ptrdiff_t>(k);
    rangeLast_ = static_cast<std::ptrdiff_t>(k);
    tick();
  }

  void failed(std::size_t k) {
    emitRange();
    lines_.failed(k, out_[k].verdict.reason, out_[k].verdict.detail);
    tick();
  }

  void emitRange() {
    if (rangeFirst_ < 0) return;
    lines_.done(static_cast<std::size_t>(rangeFirst_), static_cast<std::size_t>(rangeLast_));
    rangeFirst_ = rangeLast_ = -1;
  }

  void tick() {
    if (++sinceFlush_ >= kFlushSteps || std::chrono::steady_clock::now() - lastFlush_ >= kFlushInterval)
      flush();
  }

  platform::RecordWriter& journal_;
  const Steps& steps_;
  const std::vector<RunFolder>& folders_;
  const StopFn& stop_;
  platform::RenameWays& ways_;  // what each device takes, kept from folder to folder
  std::vector<StepOutcome> out_;
  StepIntents intents_{journal_};  // told by the renames of the link and placeholder ways
  platform::RenameIntents* outerIntents_ = ways_.intents();  // put back when the runner is done
  JournalLines lines_;
  platform::Folder folder_;
  std::uint32_t openIndex_ = UINT32_MAX;
  bool folderOk_ = false;
  Verdict folderVerdict_;
  std::ptrdiff_t rangeFirst_ = -1, rangeLast_ = -1;
  std::size_t sinceFlush_ = 0;
  std::chrono::steady_clock::time_point lastFlush_;
  bool broken_ = false;
  int error_ = 0;
  bool wantStop_ = false;  // asked for; a cycle under way finishes first
  bool stopped_ = false;   // no further group runs
};

}  // namespace qorin::rename::detail
