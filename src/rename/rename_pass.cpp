#include "rename/rename_pass.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <system_error>
#include <thread>
#include <tuple>
#include <unordered_map>

#include "platform/fs.h"
#include "platform/record_file.h"
#include "rename/journal.h"
#include "rename/plan.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rename {

using filelist::FileList;

namespace {

// "■" in GB18030.
constexpr std::string_view kMark = "\xA1\xF6";

// Up to this many names of interest a folder is asked name by name; beyond
// it one listing is cheaper.
constexpr std::size_t kProbeLimit = 512;

// Completion records reach the journal file at least this often.
constexpr std::size_t kFlushSteps = 1000;
constexpr auto kFlushInterval = std::chrono::milliseconds(500);

class ProgressMarks {
 public:
  ProgressMarks(int total, const ProgressFn& fn) : total_(total), fn_(fn) {}

  void after(int done) {
    const int marks = progressMarks(done, total_);
    if (marks <= last_) return;
    for (int k = last_; k < marks; ++k) bar_ += kMark;
    last_ = marks;
    if (fn_) fn_(bar_);
  }

 private:
  int total_;
  const ProgressFn& fn_;
  int last_ = 0;
  std::string bar_;
};

std::string decimal(int n) { return std::to_string(n); }

Summary summary(int total, int succeeded, int stopped, const char* allDone, const char* okLine,
                const char* failLine, const char* stoppedLine) {
  Summary s;
  s.allSucceeded = succeeded == total;
  if (s.allSucceeded) {
    s.text = text::gb(allDone);
    return s;
  }
  s.text = text::gb("文件总数：") + decimal(total) + text::gb(" 个文件\r\n\r\n") + decimal(succeeded) +
           text::gb(okLine) + decimal(total - succeeded - stopped) + text::gb(failLine);
  if (stopped > 0) s.text += text::gb("\r\n") + decimal(stopped) + text::gb(stoppedLine);
  return s;
}

Verdict verdictOf(const platform::Folder::Outcome& o) {
  switch (o.result) {
    case platform::RenameResult::Renamed:
      return {};
    case platform::RenameResult::TargetExists:
      return {Reason::TargetExists, 0};
    case platform::RenameResult::SourceMissing:
      return {Reason::SourceMissing, 0};
    case platform::RenameResult::Unconvertible:
      return {Reason::IllegalName, 0};
    case platform::RenameResult::Failed:
      break;
  }
  return {Reason::SystemError, o.error};
}

// A name of our own in the folder; with 64 random bits it meets no existing
// name, and the rename to it could not replace one anyway.
std::string temporaryName(std::mt19937_64& rng, const NameSet& names) {
  for (;;) {
    char buf[40];
    std::snprintf(buf, sizeof buf, ".qorin-%016llx.tmp", static_cast<unsigned long long>(rng()));
    if (!names.contains(buf)) return buf;
  }
}

// The names of a folder that matter for a plan, and what exists among them.
NameSet namesOfInterest(const platform::Folder& folder, std::vector<std::string_view> names) {
  if (names.size() > kProbeLimit) {
    if (auto all = folder.names()) return NameSet(std::move(*all));
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  std::vector<std::string> present;
  for (const std::string_view n : names)
    if (folder.identityOf(n)) present.emplace_back(n);
  return NameSet(std::move(present));
}

// A case-only change where the file system finds the file itself under
// the new spelling. FUSE numbers each spelling apart, so a folder that
// ignores case vouches for it; were it wrong, the rename through the
// temporary name still could not replace the other file.
bool targetIsItself(const platform::Folder& folder, std::string_view from, std::string_view to) {
  if (from == to || !text::equalsNoCase(from, to)) return false;
  const auto a = folder.identityOf(from), b = folder.identityOf(to);
  return a && b && (*a == *b || folder.ignoresCase());
}

// The file is still the one the record describes. Where the file system
// tells birth times, the record must name the same one: a record without
// it could point at any file that got the inode.
bool sameFile(const platform::FileIdentity& found, const platform::FileIdentity& recorded) {
  return found.inode == recorded.inode && found.size == recorded.size && found.device == recorded.device &&
         (found.birth == 0 || found.birth == recorded.birth);
}

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
Verdict folderVerdict(const platform::Folder& f) {
  if (f.changed()) return {Reason::FolderChanged, 0};
  if (f.error() != 0) return {Reason::SystemError, f.error()};
  return {Reason::SourceMissing, 0};
}

struct StepOutcome {
  Verdict verdict;
  bool done = false;
};

// Runs the steps of one phase whose plan is in the journal, recording their
// completion as it goes.
class PhaseRunner {
 public:
  // `native` may give, per step, both names already converted.
  using NativePair = std::pair<const platform::NativeName*, const platform::NativeName*>;
  PhaseRunner(platform::RecordWriter& journal, const std::vector<StepRef>& steps,
              const std::vector<RunFolder>& folders, const StopFn& stop, platform::RenameWays& ways,
              const std::vector<NativePair>* native = nullptr)
      : journal_(journal),
        steps_(steps),
        folders_(folders),
        stop_(stop),
        ways_(ways),
        native_(native),
        out_(steps.size()) {}

  // `settled(files)` after each group, with the number of files it moved or
  // failed. Asked to stop, it ends after the file at hand, or after a cycle
  // caught half way; the steps not reached are Stopped, not done, and left
  // pending in the journal.
  template <class Settled>
  std::vector<StepOutcome> run(Settled settled) {
    lastFlush_ = std::chrono::steady_clock::now();
    for (std::size_t b = 0; b < steps_.size();) {
      std::size_t e = b + 1;
      while (e < steps_.size() && steps_[e].group == steps_[b].group) ++e;
      if (stopped_) {
        for (std::size_t k = b; k < e; ++k) out_[k].verdict = {Reason::Stopped, 0};
      } else {
        const std::size_t ran = runGroup(b, e);
        settled(steps_[b].cycle ? e - b - 1 : ran);
      }
      b = e;
    }
    emitRange();
    return std::move(out_);
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
      failAll(b, e, {Reason::SystemError, error_}, false);
      return e - b;
    }
    const StepRef& first = steps_[b];
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
        if (v.reason != Reason::None) {
          out_[k].verdict = v;
          failed(k);
          for (std::size_t j = k + 1; j < e; ++j) {
            out_[j].verdict = {Reason::TargetExists, 0};
            failed(j);
          }
          stopped_ = askStop();
          return e - b;
        }
        if (askStop() && k + 1 < e) {
          stopped_ = true;
          for (std::size_t j = k + 1; j < e; ++j) out_[j].verdict = {Reason::Stopped, 0};
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
      if (v.reason == Reason::None) continue;
      // Take the cycle back, newest first, so no file keeps the temporary name.
      for (std::size_t j = k; j-- > b;) {
        if (folder_.rename(steps_[j].to, steps_[j].from).result != platform::RenameResult::Renamed) break;
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

  Verdict renameStep(std::size_t k) {
    const StepRef& s = steps_[k];
    const NativePair n = native_ ? (*native_)[k] : NativePair{};
    const Verdict v =
        verdictOf(n.first && n.second ? folder_.rename(*n.first, *n.second) : folder_.rename(s.from, s.to));
    if (v.reason == Reason::None) {
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
  const std::vector<StepRef>& steps_;
  const std::vector<RunFolder>& folders_;
  const StopFn& stop_;
  platform::RenameWays& ways_;  // what each device takes, kept from folder to folder
  const std::vector<NativePair>* native_;
  std::vector<StepOutcome> out_;
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

// Identities of the rows' files. Taking them needs nothing but the names,
// so on a large pass a helper thread takes them while the caller lists the
// folders and plans; then the caller takes what is left.
class IdentityScan {
 public:
  IdentityScan(const std::vector<RunFolder>& folders, const std::vector<std::vector<std::size_t>>& rowsOf,
               const std::vector<PlanRow>& rows)
      : folders_(folders),
        rowsOf_(rowsOf),
        rows_(rows),
        ids_(rows.size()),
        found_(rows.size(), 0),
        from_(rows.size()),
        to_(rows.size()) {
    for (std::size_t f = 0; f < rowsOf.size(); ++f)
      for (std::size_t b = 0; b < rowsOf[f].size(); b += kChunk)
        chunks_.push_back({f, b, std::min(b + kChunk, rowsOf[f].size())});
    if (rows.size() >= kHelperFrom) {
      try {
        helper_ = std::thread([this] { work(); });
      } catch (const std::system_error&) {
        // No thread to be had: the caller's thread takes them all.
      }
    }
  }
  ~IdentityScan() { finish(); }
  IdentityScan(const IdentityScan&) = delete;
  IdentityScan& operator=(const IdentityScan&) = delete;

  // Takes the rest; afterwards the results may be read.
  void finish() {
    work();
    if (helper_.joinable()) helper_.join();
  }
  bool found(std::size_t row) const { return found_[row] != 0; }
  const platform::FileIdentity& id(std::size_t row) const { return ids_[row]; }
  // The row's names in the system's encoding (nothing: not convertible, or
  // the row was not looked at).
  const platform::NativeName* nativeFrom(std::size_t row) const { return opt(from_[row]); }
  const platform::NativeName* nativeTo(std::size_t row) const { return opt(to_[row]); }

 private:
  static constexpr std::size_t kChunk = 512, kHelperFrom = 4096;
  struct Chunk {
    std::size_t folder, begin, end;
  };

  void work() {
    for (;;) {
      const std::size_t c = next_.fetch_add(1);
      if (c >= chunks_.size()) return;
      const Chunk& ch = chunks_[c];
      const RunFolder& rf = folders_[ch.folder];
      const platform::Folder folder = rf.openAsAdded();
      if (!folder.isOpen()) continue;
      for (std::size_t k = ch.begin; k < ch.end; ++k) {
        const std::size_t r = rowsOf_[ch.folder][k];
        if (rows_[r].preset != Reason::None) continue;
        from_[r] = platform::NativeName::of(rows_[r].from);
        to_[r] = platform::NativeName::of(rows_[r].to);
        if (!from_[r]) continue;
        if (const auto id = folder.identityOf(*from_[r])) {
          ids_[r] = *id;
          found_[r] = 1;
        }
      }
    }
  }

  const std::vector<RunFolder>& folders_;
  const std::vector<std::vector<std::size_t>>& rowsOf_;
  const std::vector<PlanRow>& rows_;
  static const platform::NativeName* opt(const std::optional<platform::NativeName>& n) {
    return n ? &*n : nullptr;
  }

  std::vector<platform::FileIdentity> ids_;
  std::vector<unsigned char> found_;  // each row written by one thread only
  std::vector<std::optional<platform::NativeName>> from_, to_;
  std::vector<Chunk> chunks_;
  std::atomic<std::size_t> next_{0};
  std::thread helper_;
};

// The journal steps of a plan: one per chain row, and for a cycle one more,
// its first row going to a temporary name and leaving it last.
struct PlannedSteps {
  std::vector<StepRef> steps;  // names point into the plan's rows and `temporaries`
  std::vector<std::int32_t> rowOfStep;
  std::deque<std::string> temporaries;
};

// Per step, both names already converted where the caller has them.
template <class NativeOf>
std::vector<PhaseRunner::NativePair> nativeNamesOf(const PlannedSteps& p,
                                                   std::deque<platform::NativeName>& temps,
                                                   NativeOf nativeOf) {
  std::vector<PhaseRunner::NativePair> out(p.steps.size());
  std::unordered_map<const char*, const platform::NativeName*> temp;  // by the temporary's text
  for (const std::string& t : p.temporaries)
    if (auto n = platform::NativeName::of(t)) temp.emplace(t.data(), &temps.emplace_back(std::move(*n)));
  for (std::size_t k = 0; k < p.steps.size(); ++k) {
    const auto row = static_cast<std::size_t>(p.rowOfStep[k]);
    const auto [from, to] = nativeOf(row);
    const auto tf = temp.find(p.steps[k].from.data()), tt = temp.find(p.steps[k].to.data());
    out[k] = {tf != temp.end() ? tf->second : from, tt != temp.end() ? tt->second : to};
  }
  return out;
}

template <class StepFor>
PlannedSteps stepsOf(const Plan& plan, std::span<const PlanRow> rows, std::span<const NameSet* const> names,
                     StepFor stepFor) {
  PlannedSteps out;
  out.steps.reserve(plan.order.size() + plan.groups.size());
  out.rowOfStep.reserve(out.steps.capacity());
  std::mt19937_64 rng{std::random_device{}()};
  std::uint32_t groupId = 0;
  for (const Plan::Group& g : plan.groups) {
    ++groupId;
    const auto add = [&](std::int32_t row, std::string_view from, std::string_view to) {
      StepRef s = stepFor(row);
      s.group = groupId;
      s.cycle = g.cycle;
      s.from = from;
      s.to = to;
      out.steps.push_back(s);
      out.rowOfStep.push_back(row);
    };
    if (!g.cycle) {
      for (std::uint32_t k = g.begin; k < g.end; ++k) {
        const PlanRow& r = rows[static_cast<std::size_t>(plan.order[k])];
        add(plan.order[k], r.from, r.to);
      }
      continue;
    }
    const std::int32_t head = plan.order[g.begin];
    const PlanRow& h = rows[static_cast<std::size_t>(head)];
    const std::string& temp = out.temporaries.emplace_back(temporaryName(rng, *names[h.folder]));
    add(head, h.from, temp);
    for (std::uint32_t k = g.begin + 1; k < g.end; ++k) {
      const PlanRow& r = rows[static_cast<std::size_t>(plan.order[k])];
      add(plan.order[k], r.from, r.to);
    }
    add(head, temp, h.to);
  }
  return out;
}

// A row's outcome from its steps: done when every step of it is.
std::vector<StepOutcome> outcomeByRow(std::size_t rows, const PlannedSteps& planned,
                                      const std::vector<StepOutcome>& steps) {
  std::vector<StepOutcome> out(rows);
  std::vector<bool> seen(rows, false);
  for (std::size_t k = 0; k < steps.size(); ++k) {
    const auto row = static_cast<std::size_t>(planned.rowOfStep[k]);
    StepOutcome& o = out[row];
    if (!seen[row]) {
      o = steps[k];
      seen[row] = true;
    } else if (o.done) {
      o = steps[k];
    }
  }
  return out;
}

// ---- the record of the last pass ----

// One file of the record.
struct Track {
  std::uint32_t file = 0, folder = 0;
  std::string original;  // its name before the pass
  std::string expected;  // where the record puts it now
  platform::FileIdentity id;
  std::vector<std::string> names;       // every name the record ever gave it
  std::optional<std::string> location;  // where it was found
  Verdict lost;                         // why it was not
  bool moved = false;                   // a step of the record renamed it
};

struct Loaded {
  JournalRead read = JournalRead::Missing;
  JournalRecord record;
  std::vector<Track> tracks;
  std::unordered_map<std::uint32_t, std::size_t> trackOf;
  std::vector<RunFolder> folders;  // the record's folders, to be opened only as they were
  bool located = false;
  platform::RenameWays* ways = nullptr;  // handed in for the undo, or the run's own

  bool interrupted() const { return !record.phases.empty() && !record.phases.back().ended; }
};

void replay(Loaded& l) {
  for (Track& t : l.tracks) t.expected = t.original;
  for (const JournalPhase& p : l.record.phases)
    for (std::size_t k = 0; k < p.steps.size(); ++k)
      if (p.states[k] == StepState::Done) {
        Track& t = l.tracks[l.trackOf.at(p.steps[k].file)];
        t.expected = p.steps[k].to;
        t.moved = true;
      }
}

Loaded load(std::string_view path) {
  Loaded l;
  l.read = readJournal(path, l.record);
  if (l.read != JournalRead::Ok) return l;
  for (const JournalPhase& p : l.record.phases) {
    for (const JournalStep& s : p.steps) {
      auto [it, fresh] = l.trackOf.emplace(s.file, l.tracks.size());
      if (fresh) {
        Track t;
        t.file = s.file;
        t.folder = s.folder;
        t.original = s.from;
        t.id = s.id;
        l.tracks.push_back(std::move(t));
      }
      Track& t = l.tracks[it->second];
      for (const std::string* n : {&s.from, &s.to})
        if (std::find(t.names.begin(), t.names.end(), *n) == t.names.end()) t.names.push_back(*n);
    }
  }
  for (const JournalFolder& f : l.record.folders) {
    RunFolder rf;
    rf.dir = f.dir;
    rf.identity = {f.device, f.inode, 0, 0};
    rf.byPathOnly = f.inode == 0;
    l.folders.push_back(std::move(rf));
  }
  replay(l);
  return l;
}

// Where the track's file is in `folder`, found by its identity among the
// names the record gave it, the expected one first.
std::optional<std::string> findTrack(const platform::Folder& folder, const Track& t) {
  const auto at = [&](const std::string& name) {
    const auto id = folder.identityOf(name);
    return id && sameFile(*id, t.id);
  };
  if (at(t.expected)) return t.expected;
  for (const std::string& n : t.names)
    if (n != t.expected && at(n)) return n;
  return std::nullopt;
}

std::vector<std::vector<std::size_t>> tracksByFolder(const Loaded& l) {
  std::vector<std::vector<std::size_t>> byFolder(l.record.folders.size());
  for (std::size_t i = 0; i < l.tracks.size(); ++i) byFolder[l.tracks[i].folder].push_back(i);
  return byFolder;
}

// Finds every file on the disk.
void locate(Loaded& l) {
  const std::vector<std::vector<std::size_t>> byFolder = tracksByFolder(l);
  for (std::size_t f = 0; f < byFolder.size(); ++f) {
    if (byFolder[f].empty()) continue;
    const platform::Folder folder = l.folders[f].openAsAdded();
    const Verdict gone = folder.isOpen() ? Verdict{Reason::SourceMissing, 0} : folderVerdict(folder);
    for (const std::size_t i : byFolder[f]) {
      Track& t = l.tracks[i];
      t.location.reset();
      t.lost = gone;
      if (!folder.isOpen()) continue;
      t.location = findTrack(folder, t);
      if (!t.location && folder.identityOf(t.expected)) t.lost = {Reason::FileChanged, 0};
    }
  }
  l.located = true;
}

// Whether a file the record renamed and did not give back is still where
// an undo can reach it: one is enough.
bool anyWithinReach(const Loaded& l) {
  const std::vector<std::vector<std::size_t>> byFolder = tracksByFolder(l);
  for (std::size_t f = 0; f < byFolder.size(); ++f) {
    bool pending = false;
    for (const std::size_t i : byFolder[f]) pending = pending || l.tracks[i].expected != l.tracks[i].original;
    if (!pending) continue;
    const platform::Folder folder = l.folders[f].openAsAdded();
    if (!folder.isOpen()) continue;
    for (const std::size_t i : byFolder[f]) {
      const Track& t = l.tracks[i];
      if (t.expected == t.original) continue;
      if (const auto at = findTrack(folder, t); at && *at != t.original) return true;
    }
  }
  return false;
}

// Files the record moved that are away from their first names and where an
// undo can reach them: what its end line tells a reader at start.
std::size_t pendingOf(const Loaded& l) {
  std::size_t n = 0;
  for (const Track& t : l.tracks)
    n += t.location && *t.location != t.original && (t.moved || t.expected != t.original);
  return n;
}

// Appends to the record, first cutting what follows its last good line:
// otherwise a reader would stop at the bad line and never see the rest.
bool openJournal(platform::RecordWriter& file, Loaded& l, std::string_view path, int& error) {
  const std::uint64_t keep = l.record.damaged ? l.record.goodBytes : UINT64_MAX;
  if (!file.openAppend(path, keep)) {
    error = file.error();
    return false;
  }
  l.record.damaged = false;
  return true;
}

// Records what really happened in a phase that was cut short, as found on
// the disk, and ends it: from here on the record is true again.
bool closeInterrupted(Loaded& l, std::string_view path, int& error) {
  if (!l.located) locate(l);
  JournalPhase& phase = l.record.phases.back();
  JournalLines lines;
  // A plan cut by damage is completed with the steps that could be read.
  if (phase.planCut) lines.planned(phase.steps.size());
  // Where each file of the phase stands decides its steps: before the first,
  // after one of them (a cycle's first file may be at its temporary name),
  // or elsewhere, and then the record is left as it is.
  std::unordered_map<std::uint32_t, std::vector<std::size_t>> stepsOfFile;
  for (std::size_t k = 0; k < phase.steps.size(); ++k) stepsOfFile[phase.steps[k].file].push_back(k);
  for (const auto& [file, ks] : stepsOfFile) {
    const Track& t = l.tracks[l.trackOf.at(file)];
    if (!t.location) continue;
    std::size_t doneCount = SIZE_MAX;
    if (phase.steps[ks.front()].from == *t.location) doneCount = 0;
    for (std::size_t j = 0; j < ks.size() && doneCount == SIZE_MAX; ++j)
      if (phase.steps[ks[j]].to == *t.location) doneCount = j + 1;
    if (doneCount == SIZE_MAX) continue;
    for (std::size_t j = 0; j < ks.size(); ++j) {
      const std::size_t k = ks[j];
      const bool done = j < doneCount;
      if ((phase.states[k] == StepState::Done) == done) continue;
      if (done) {
        lines.done(k, k);
      } else {
        lines.failed(k, Reason::None, 0);
      }
      phase.states[k] = done ? StepState::Done : StepState::Failed;
    }
  }
  lines.end(pendingOf(l));
  phase.ended = true;
  platform::RecordWriter file;
  if (!openJournal(file, l, path, error)) return false;
  if (!file.write(lines.text()) || !file.sync()) {
    error = file.error();
    return false;
  }
  replay(l);
  return true;
}

// Moves files of the record to the names `desired` gives (an empty text:
// leave it), as one journaled phase.
struct Transition {
  RecordOutcome::Status status = RecordOutcome::Status::Done;
  int error = 0;
  std::vector<StepOutcome> byTrack;  // for the tracks that were to move
  std::vector<bool> moving;
};

template <class Settled>
Transition moveTracks(Loaded& l, std::string_view path, PhaseKind kind,
                      const std::vector<std::string>& desired, Settled settled, const StopFn& stop = {}) {
  Transition tr;
  const std::size_t n = l.tracks.size();
  tr.byTrack.resize(n);
  tr.moving.assign(n, false);
  std::vector<PlanRow> rows;
  std::vector<std::size_t> trackOfRow;
  for (std::size_t i = 0; i < n; ++i) {
    const Track& t = l.tracks[i];
    if (desired[i].empty() || !t.location || *t.location == desired[i]) continue;
    rows.push_back({t.folder, *t.location, desired[i], Reason::None});
    trackOfRow.push_back(i);
    tr.moving[i] = true;
  }

  // What exists now among the names that matter, folder by folder.
  std::vector<NameSet> sets(l.record.folders.size());
  std::vector<PlanFolder> folders(l.record.folders.size());
  std::vector<const NameSet*> setPtrs(l.record.folders.size(), nullptr);
  {
    std::vector<std::vector<std::size_t>> rowsIn(l.record.folders.size());
    for (std::size_t r = 0; r < rows.size(); ++r) rowsIn[rows[r].folder].push_back(r);
    for (std::size_t f = 0; f < rowsIn.size(); ++f) {
      if (rowsIn[f].empty()) continue;
      const platform::Folder folder = l.folders[f].openAsAdded();
      std::vector<std::string_view> interest;
      for (const std::size_t r : rowsIn[f]) {
        interest.push_back(rows[r].from);
        interest.push_back(rows[r].to);
        rows[r].targetIsItself = targetIsItself(folder, rows[r].from, rows[r].to);
      }
      sets[f] = namesOfInterest(folder, std::move(interest));
      folders[f] = {&sets[f], folder.nameLimit()};
      setPtrs[f] = &sets[f];
    }
  }
  const Plan plan = planMoves(rows, folders, NameRules{}, PlanUse::Pass);
  const PlannedSteps planned = stepsOf(plan, rows, setPtrs, [&](std::int32_t row) {
    const Track& t = l.tracks[trackOfRow[static_cast<std::size_t>(row)]];
    StepRef s;
    s.file = t.file;
    s.folder = t.folder;
    s.id = t.id;
    return s;
  });

  JournalLines lines;
  lines.begin(kind);
  for (const StepRef& s : planned.steps) lines.step(s);
  lines.planned(planned.steps.size());
  platform::RecordWriter file;
  if (!openJournal(file, l, path, tr.error) || !file.write(lines.text()) || !file.sync()) {
    if (!tr.error) tr.error = file.error();
    tr.status = RecordOutcome::Status::JournalFailed;
    return tr;
  }

  platform::RenameWays own;
  PhaseRunner runner(file, planned.steps, l.folders, stop, l.ways ? *l.ways : own);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (isFailure(plan.verdicts[r].reason)) {
      tr.byTrack[trackOfRow[r]].verdict = plan.verdicts[r];
      settled(1);
    }
  }
  const std::vector<StepOutcome> steps = runner.run(settled);
  const std::vector<StepOutcome> byRow = outcomeByRow(rows.size(), planned, steps);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (isFailure(plan.verdicts[r].reason)) continue;
    tr.byTrack[trackOfRow[r]] = byRow[r];
  }
  for (std::size_t k = 0; k < steps.size(); ++k) {
    if (!steps[k].done) continue;
    Track& t = l.tracks[trackOfRow[static_cast<std::size_t>(planned.rowOfStep[k])]];
    t.location = planned.steps[k].to;
  }
  runner.lines().end(pendingOf(l));
  runner.flush();
  return tr;
}

// A name the pass gives the first file of a cycle for a moment.
bool isTemporaryName(std::string_view name) {
  constexpr std::string_view head = ".qorin-", tail = ".tmp";
  if (name.size() != head.size() + 16 + tail.size() || !name.starts_with(head) || !name.ends_with(tail))
    return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(head.size()),
                     name.end() - static_cast<std::ptrdiff_t>(tail.size()),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// After a record whose plan was damaged: how many steps it could not tell,
// and which files are still at a temporary name in its folders.
void reportCutPlan(const Loaded& l, RecordOutcome& out) {
  const bool cut = std::any_of(l.record.phases.begin(), l.record.phases.end(),
                               [](const JournalPhase& p) { return p.planCut; });
  if (!cut) return;
  out.unreadable = l.record.unreadableSteps;
  for (const RunFolder& rf : l.folders) {
    if (rf.dir.empty()) continue;
    const platform::Folder folder = rf.openAsAdded();
    const auto names = folder.isOpen() ? folder.names() : std::nullopt;
    if (!names) continue;
    for (const std::string& n : *names)
      if (isTemporaryName(n)) out.temporaries.push_back(rf.dir + n);
  }
  std::sort(out.temporaries.begin(), out.temporaries.end());
}

RecordOutcome::Status statusOf(JournalRead r) {
  switch (r) {
    case JournalRead::Missing:
    case JournalRead::NeverRan:
      return RecordOutcome::Status::NoRecord;
    case JournalRead::Damaged:
      return RecordOutcome::Status::Damaged;
    case JournalRead::Unsupported:
      return RecordOutcome::Status::Unsupported;
    case JournalRead::Refused:
      return RecordOutcome::Status::Refused;
    case JournalRead::Ok:
      break;
  }
  return RecordOutcome::Status::Done;
}

// Every file of the record that is not under its name from before the pass
// goes back to it.
RecordOutcome restore(Loaded& l, std::string_view path, const ProgressFn& progress, const StopFn& stop) {
  RecordOutcome out;
  if (!l.located) locate(l);
  // Only files the record moved: one whose rename failed in the pass is not
  // the undo's, wherever it is now.
  std::vector<std::size_t> counted;
  for (std::size_t i = 0; i < l.tracks.size(); ++i) {
    const Track& t = l.tracks[i];
    if (t.expected != t.original || (t.moved && t.location && *t.location != t.original))
      counted.push_back(i);
  }
  if (counted.empty()) {
    out.status = RecordOutcome::Status::NoRecord;
    return out;
  }
  std::vector<std::string> desired(l.tracks.size());
  std::vector<std::string> before(l.tracks.size());
  for (const std::size_t i : counted) {
    desired[i] = l.tracks[i].original;
    before[i] = l.tracks[i].location.value_or(l.tracks[i].expected);
  }
  ProgressMarks marks(static_cast<int>(counted.size()), progress);
  int settledFiles = 0;
  for (const std::size_t i : counted)
    if (!l.tracks[i].location || *l.tracks[i].location == l.tracks[i].original) ++settledFiles;
  marks.after(settledFiles);
  const Transition tr = moveTracks(
      l, path, PhaseKind::Undo, desired,
      [&](std::size_t files) {
        settledFiles += static_cast<int>(files);
        marks.after(settledFiles);
      },
      stop);
  if (tr.status != RecordOutcome::Status::Done) {
    out.status = tr.status;
    out.error = tr.error;
    return out;
  }
  out.status = RecordOutcome::Status::Done;
  out.total = static_cast<int>(counted.size());
  for (const std::size_t i : counted) {
    const Track& t = l.tracks[i];
    FileOutcome f;
    f.dir = l.record.folders[t.folder].dir;
    f.folderDevice = l.record.folders[t.folder].device;
    f.folderInode = l.record.folders[t.folder].inode;
    f.before = before[i];
    f.after = t.location.value_or(before[i]);
    f.ok = t.location && *t.location == t.original;
    if (!f.ok) {
      const Verdict v = !t.location ? t.lost : tr.byTrack[i].verdict;
      f.reason = v.reason;
      f.detail = v.detail;
    }
    out.restored += f.ok;
    out.stopped += f.reason == Reason::Stopped;
    out.files.push_back(std::move(f));
  }
  return out;
}

}  // namespace

int progressMarks(int i, int n) {
  if (n <= 0 || i <= 0) return 0;
  const double marks = std::floor(static_cast<double>(i) / static_cast<double>(n) * 20.0);
  return marks >= 20.0 ? 20 : static_cast<int>(marks);
}

std::string progressBar(int marks) {
  std::string bar;
  for (int k = 0; k < marks; ++k) bar += kMark;
  return bar;
}

PassOutcome renamePass(FileList& list, std::string_view journalPath, const ProgressFn& progress,
                       const StopFn& stop, platform::RenameWays* ways, PassKind kind) {
  PassOutcome out;
  const int n = list.rowCount();
  out.total = n;
  const auto nu = static_cast<std::size_t>(n);
  const bool toUtf8 = kind == PassKind::NamesToUtf8;
  std::deque<std::string> gbkNames;  // the rows' names on disk, where they are kept in GBK

  // Folders: one per folder the rows were added from, however they spell it.
  std::vector<RunFolder> folders;
  std::vector<std::vector<std::size_t>> rowsOf;
  std::vector<PlanRow> rows(nu);
  std::vector<platform::FileIdentity> ids(nu);
  {
    std::vector<std::uint32_t> runOf(list.folderCount(), UINT32_MAX);
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint32_t> byIdentity;
    const auto runFolderOf = [&](std::uint32_t listFolder) {
      if (listFolder == filelist::kNoFolder) {
        // An entry without a folder would resolve against the working directory.
        folders.push_back({});
        return static_cast<std::uint32_t>(folders.size() - 1);
      }
      std::uint32_t& index = runOf[listFolder];
      if (index != UINT32_MAX) return index;
      const filelist::FolderInfo& info = list.folder(listFolder);
      index = static_cast<std::uint32_t>(folders.size());
      if (info.known) {
        const auto [at, fresh] =
            byIdentity.emplace(std::make_pair(info.identity.device, info.identity.inode), index);
        if (!fresh) return index = at->second;
      }
      RunFolder rf;
      rf.dir = info.dir;
      if (info.known) rf.identity = info.identity;
      folders.push_back(std::move(rf));
      return index;
    };
    std::uint32_t lastListFolder = filelist::kNoFolder - 1, last = 0;
    for (std::size_t r = 0; r < nu; ++r) {
      const int row = static_cast<int>(r);
      const std::uint32_t lf = list.folderOf(row);
      if (lf != lastListFolder || lf == filelist::kNoFolder) {
        last = runFolderOf(lf);
        lastListFolder = lf;
        if (rowsOf.size() < folders.size()) rowsOf.resize(folders.size());
      }
      rows[r] = {last, list.oldName(row), list.newName(row),
                 toUtf8 ? Reason::None : list.proposalProblem(row)};
      if (list.gbkName(row)) {
        // The same text is the same name: only the conversion writes it in UTF-8.
        rows[r].from = gbkNames.emplace_back(platform::gbkName(list.oldName(row)));
        rows[r].to = toUtf8 ? list.oldName(row) : rows[r].to == list.oldName(row) ? rows[r].from : rows[r].to;
      } else if (toUtf8) {
        rows[r].to = rows[r].from;
      }
      rowsOf[last].push_back(r);
    }
  }

  // Each folder only as the rows found it: one put in its place since (or a
  // link to another) fails its rows, and nothing in it is touched.
  std::vector<Verdict> folderFailure(folders.size());
  for (std::size_t f = 0; f < folders.size(); ++f) {
    const platform::Folder folder = folders[f].openAsAdded();
    if (folder.isOpen()) continue;
    folderFailure[f] = folderVerdict(folder);
    for (const std::size_t r : rowsOf[f])
      if (rows[r].preset == Reason::None) rows[r].preset = folderFailure[f].reason;
    folders[f].identity = {};
  }
  IdentityScan identities(folders, rowsOf, rows);
  std::vector<NameSet> sets(folders.size());
  std::vector<PlanFolder> planFolders(folders.size());
  std::vector<const NameSet*> setPtrs(folders.size());
  for (std::size_t f = 0; f < folders.size(); ++f) {
    setPtrs[f] = &sets[f];
    planFolders[f].names = &sets[f];
    if (!folders[f].identity.inode) continue;
    const platform::Folder folder = folders[f].openAsAdded();
    planFolders[f].maxLength = folder.nameLimit();
    std::vector<std::string_view> interest;
    interest.reserve(rowsOf[f].size() * 2);
    for (const std::size_t r : rowsOf[f]) {
      interest.push_back(rows[r].from);
      interest.push_back(rows[r].to);
    }
    sets[f] = namesOfInterest(folder, std::move(interest));
    for (const std::size_t r : rowsOf[f])
      rows[r].targetIsItself =
          rows[r].preset == Reason::None && targetIsItself(folder, rows[r].from, rows[r].to);
  }

  Plan plan = planMoves(rows, planFolders, NameRules{}, PlanUse::Pass);
  identities.finish();
  // A file that went away between the listing and its identity: plan again
  // without it, as the files depending on it must not move either.
  bool vanished = false;
  for (std::size_t r = 0; r < nu; ++r) {
    if (plan.verdicts[r].reason != Reason::None) continue;
    if (identities.found(r)) {
      ids[r] = identities.id(r);
    } else {
      rows[r].preset = Reason::SourceMissing;
      vanished = true;
    }
  }
  if (vanished) plan = planMoves(rows, planFolders, NameRules{}, PlanUse::Pass);
  const PlannedSteps planned = stepsOf(plan, rows, setPtrs, [&](std::int32_t row) {
    StepRef s;
    s.file = static_cast<std::uint32_t>(row);
    s.folder = rows[static_cast<std::size_t>(row)].folder;
    s.id = ids[static_cast<std::size_t>(row)];
    return s;
  });

  // The plan reaches the disk before the first rename.
  platform::RecordWriter journal;
  {
    JournalLines lines;
    lines.text().reserve(planned.steps.size() * 96 + 4096);
    lines.header();
    for (std::size_t f = 0; f < folders.size(); ++f)
      lines.folder(static_cast<std::uint32_t>(f),
                   {folders[f].dir, folders[f].identity.device, folders[f].identity.inode});
    lines.begin(PhaseKind::Pass);
    for (const StepRef& s : planned.steps) lines.step(s);
    lines.planned(planned.steps.size());
    if (!journal.create(journalPath) || !journal.write(lines.text()) || !journal.commit()) {
      out.status = PassOutcome::Status::JournalFailed;
      out.journalError = journal.error();
      journal.close();
      return out;
    }
  }

  std::deque<platform::NativeName> nativeTemps;
  const auto native = nativeNamesOf(planned, nativeTemps, [&](std::size_t row) {
    return PhaseRunner::NativePair{identities.nativeFrom(row), identities.nativeTo(row)};
  });
  ProgressMarks marks(n, progress);
  int settledRows = 0;
  for (std::size_t r = 0; r < nu; ++r) settledRows += plan.verdicts[r].reason != Reason::None;
  marks.after(settledRows);
  platform::RenameWays own;
  PhaseRunner runner(journal, planned.steps, folders, stop, ways ? *ways : own, &native);
  const std::vector<StepOutcome> steps = runner.run([&](std::size_t files) {
    settledRows += static_cast<int>(files);
    marks.after(settledRows);
  });
  const std::vector<StepOutcome> byRow = outcomeByRow(nu, planned, steps);
  std::size_t moved = 0;
  for (std::size_t r = 0; r < nu; ++r) moved += plan.verdicts[r].reason == Reason::None && byRow[r].done;
  // The end marker is written, not synced: after a power cut the disk,
  // checked file by file, tells the rest.
  runner.lines().end(moved);
  if (!runner.flush()) out.journalError = runner.error();
  journal.close();

  const filelist::FileList::Batch batch(list);
  if (toUtf8) out.total = 0;
  for (std::size_t r = 0; r < nu; ++r) {
    const int row = static_cast<int>(r);
    if (toUtf8 && !platform::isGbkName(rows[r].from)) continue;  // not its business
    out.total += toUtf8;
    Verdict v = plan.verdicts[r];
    if (const Verdict& ff = folderFailure[rows[r].folder]; ff.reason != Reason::None && v.reason == ff.reason)
      v = ff;
    bool moved = false;
    if (v.reason == Reason::None) {
      moved = byRow[r].done;
      if (!moved) v = byRow[r].verdict;
    }
    if (v.reason == Reason::Stopped) {
      // Not reached: nothing happened to it, and no older status may say otherwise.
      ++out.stopped;
      list.setStatus(row, filelist::Status::None);
      continue;
    }
    if (!isFailure(v.reason)) {
      ++out.succeeded;
      if (moved) {
        ++out.renamed;
        list.setOldName(row, std::string(platform::nameText(rows[r].to)));
      }
      list.setStatus(row, toUtf8 ? filelist::Status::NameConverted : filelist::Status::Renamed);
    } else if (toUtf8) {
      list.setStatus(row, filelist::Status::ConversionFailed, v.reason, v.detail);
    } else {
      list.showProposal(row);
      list.setStatus(row, filelist::Status::RenameFailed, v.reason, v.detail);
    }
  }
  return out;
}

RecordOutcome undoLastPass(std::string_view journalPath, const ProgressFn& progress, const StopFn& stop,
                           platform::RenameWays* ways) {
  Loaded l = load(journalPath);
  l.ways = ways;
  RecordOutcome out;
  out.status = statusOf(l.read);
  if (l.read != JournalRead::Ok) return out;
  if (l.interrupted() && !closeInterrupted(l, journalPath, out.error)) {
    out.status = RecordOutcome::Status::JournalFailed;
    return out;
  }
  out = restore(l, journalPath, progress, stop);
  reportCutPlan(l, out);
  return out;
}

void showUndoInList(FileList& list, const RecordOutcome& outcome) {
  if (outcome.files.empty()) return;
  // A row belongs to a file when it lists the file's name in the file's
  // folder: the same folder by identity, or by its text for a record that
  // kept none.
  using ByIdentity = std::tuple<std::uint64_t, std::uint64_t, std::string_view>;
  std::map<ByIdentity, std::size_t> byIdentity;
  std::map<std::pair<std::string_view, std::string_view>, std::size_t> byText;
  for (std::size_t i = 0; i < outcome.files.size(); ++i) {
    const FileOutcome& f = outcome.files[i];
    if (f.folderInode)
      byIdentity.emplace(ByIdentity{f.folderDevice, f.folderInode, f.before}, i);
    else
      byText.emplace(std::make_pair(std::string_view(f.dir), std::string_view(f.before)), i);
  }
  const filelist::FileList::Batch batch(list);
  for (int row = 0; row < list.rowCount(); ++row) {
    const std::uint32_t folder = list.folderOf(row);
    if (folder == filelist::kNoFolder) continue;
    const filelist::FolderInfo& info = list.folder(folder);
    // The record spells a name kept in the old code page with its mark.
    std::string marked;
    if (list.gbkName(row)) marked = platform::gbkName(list.oldName(row));
    const std::string_view name = list.gbkName(row) ? std::string_view(marked) : list.oldName(row);
    const FileOutcome* f = nullptr;
    if (info.known) {
      const auto it = byIdentity.find({info.identity.device, info.identity.inode, name});
      if (it != byIdentity.end()) f = &outcome.files[it->second];
    }
    if (!f) {
      const auto it = byText.find({std::string_view(info.dir), name});
      if (it != byText.end()) f = &outcome.files[it->second];
    }
    if (!f) continue;
    if (f->reason == Reason::Stopped) continue;  // not reached: the row stays as the pass left it
    if (f->after != name) list.setOldName(row, f->after);
    if (f->ok) {
      list.setStatus(row, filelist::Status::Undone);
    } else {
      list.setStatus(row, filelist::Status::UndoFailed, f->reason, f->detail);
    }
  }
}

RecordInfo inspectRecord(std::string_view journalPath) {
  Loaded l = load(journalPath);
  RecordInfo info;
  switch (l.read) {
    case JournalRead::Missing:
    case JournalRead::NeverRan:
      return info;
    case JournalRead::Damaged:
      info.state = RecordState::Damaged;
      return info;
    case JournalRead::Unsupported:
      info.state = RecordState::Unsupported;
      return info;
    case JournalRead::Refused:
      info.state = RecordState::Refused;
      return info;
    case JournalRead::Ok:
      break;
  }
  if (l.interrupted()) {
    locate(l);
    info.state = RecordState::Interrupted;
    for (const Track& t : l.tracks)
      info.renamed += t.location ? *t.location != t.original : t.expected != t.original;
    return info;
  }
  for (const Track& t : l.tracks) info.renamed += t.expected != t.original;
  // After a pass every renamed file is on offer. After an undo that left
  // some behind (it failed for them, or was stopped), only while one of
  // them can still be reached: a file gone for good offers nothing.
  bool undone = false;
  for (const JournalPhase& p : l.record.phases) undone = undone || p.kind == PhaseKind::Undo;
  info.state = info.renamed > 0 && (!undone || anyWithinReach(l)) ? RecordState::Undoable : RecordState::None;
  return info;
}

RecordInfo peekRecord(std::string_view journalPath) {
  const JournalPeek p = peekJournal(journalPath);
  if (p.read != JournalRead::Ok || !p.ended) return inspectRecord(journalPath);
  RecordInfo info;
  info.renamed = static_cast<int>(p.pending);
  info.state = p.pending > 0 ? RecordState::Undoable : RecordState::None;
  return info;
}

RecordOutcome recoverInterrupted(std::string_view journalPath, Recovery how, const ProgressFn& progress) {
  Loaded l = load(journalPath);
  RecordOutcome out;
  out.status = statusOf(l.read);
  if (l.read != JournalRead::Ok) return out;
  if (!l.interrupted()) {
    out.status = RecordOutcome::Status::NoRecord;
    return out;
  }
  const JournalPhase cut = l.record.phases.back();  // before closing marks its steps
  if (!closeInterrupted(l, journalPath, out.error)) {
    out.status = RecordOutcome::Status::JournalFailed;
    return out;
  }
  if (how == Recovery::RollBack) {
    RecordOutcome r = restore(l, journalPath, progress, {});
    if (r.status == RecordOutcome::Status::NoRecord) r.status = RecordOutcome::Status::Done;
    reportCutPlan(l, r);
    return r;
  }

  // Keep: a cycle caught half way has a file at its temporary name and
  // another in that file's place; it goes back as a whole.
  std::vector<std::string> desired(l.tracks.size());
  std::map<std::uint32_t, std::vector<std::size_t>> cycles;  // group -> steps
  for (std::size_t k = 0; k < cut.steps.size(); ++k)
    if (cut.steps[k].cycle) cycles[cut.steps[k].group].push_back(k);
  std::vector<std::size_t> reverted;
  for (const auto& [group, ks] : cycles) {
    const std::string& temp = cut.steps[ks.front()].to;
    const Track& head = l.tracks[l.trackOf.at(cut.steps[ks.front()].file)];
    if (!head.location || *head.location != temp) continue;
    for (const std::size_t k : ks) {
      const std::size_t i = l.trackOf.at(cut.steps[k].file);
      if (desired[i].empty()) {
        desired[i] = cut.steps[k].from;  // its name before this phase
        reverted.push_back(i);
      }
    }
  }
  ProgressMarks marks(static_cast<int>(reverted.size()), progress);
  int settledFiles = 0;
  const Transition tr = moveTracks(l, journalPath, PhaseKind::Keep, desired, [&](std::size_t files) {
    settledFiles += static_cast<int>(files);
    marks.after(settledFiles);
  });
  if (tr.status != RecordOutcome::Status::Done) {
    out.status = tr.status;
    out.error = tr.error;
    return out;
  }
  out.status = RecordOutcome::Status::Done;
  for (const std::size_t i : reverted) {
    const Track& t = l.tracks[i];
    FileOutcome f;
    f.dir = l.record.folders[t.folder].dir;
    f.folderDevice = l.record.folders[t.folder].device;
    f.folderInode = l.record.folders[t.folder].inode;
    f.after = t.location.value_or(t.expected);
    f.ok = t.location && *t.location == desired[i];
    if (!f.ok) {
      f.reason = tr.byTrack[i].verdict.reason;
      f.detail = tr.byTrack[i].verdict.detail;
    }
    out.files.push_back(std::move(f));
  }
  for (const Track& t : l.tracks) {
    const std::string& now = t.location.value_or(t.expected);
    out.total += now != t.original;
  }
  reportCutPlan(l, out);
  return out;
}

Summary renameSummary(int total, int succeeded, int stopped) {
  return summary(total, succeeded, stopped, "文件更名完毕！", " 个文件更名成功！\r\n", " 个文件更名失败！",
                 " 个文件因停止而未更名。");
}

Summary undoSummary(int total, int succeeded, int stopped) {
  return summary(total, succeeded, stopped, "上一次的操作已经成功撤消！", " 个文件撤消成功！\r\n",
                 " 个文件撤消失败！", " 个文件因停止而未撤消。");
}

}  // namespace qorin::rename
