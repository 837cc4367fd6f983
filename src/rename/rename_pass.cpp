// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/rename_pass.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <tuple>
#include <unordered_map>

#include "platform/fs.h"
#include "platform/record_file.h"
#include "rename/journal.h"
#include "rename/pass_ahead.h"
#include "rename/pass_rows.h"
#include "rename/pass_steps.h"
#include "rename/plan.h"
#include "rename/plan_moves.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rename {

using filelist::FileList;
using namespace detail;

namespace {

// Folders: one per folder the rows were added from, however they spell it.
void gatherRows(const FileList& list, bool toUtf8, PassRows& rows, std::vector<RunFolder>& folders,
                std::vector<std::vector<std::uint32_t>>& rowsOf) {
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
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const int row = static_cast<int>(r);
    const std::uint32_t lf = list.folderOf(row);
    if (lf != lastListFolder || lf == filelist::kNoFolder) {
      last = runFolderOf(lf);
      lastListFolder = lf;
      if (rowsOf.size() < folders.size()) rowsOf.resize(folders.size());
    }
    // The conversion cannot say what a name in no known encoding is in UTF-8.
    const Outcome toUtf8Reason = list.rawName(row) ? why::NameEncodingUnknown : Outcome{};
    rows.setRow(r, last, toUtf8 ? toUtf8Reason : list.proposalFailure(row));
    rowsOf[last].push_back(static_cast<std::uint32_t>(r));
  }
  rows.setFolderCount(folders.size());
}

// What exists among the names of each folder's rows, and which moves are
// case-only changes of the file itself. The listing goes as soon as its
// rows know.
void lookAtFolders(const std::vector<RunFolder>& folders,
                   const std::vector<std::vector<std::uint32_t>>& rowsOf, PassRows& rows,
                   const PassAhead* ahead) {
  for (std::size_t f = 0; f < folders.size(); ++f) {
    if (!folders[f].identity.inode) continue;
    const platform::Folder folder = folders[f].openAsAdded();
    rows.setMaxLength(static_cast<std::uint32_t>(f), folder.nameLimit());
    const std::vector<std::uint32_t>& in = rowsOf[f];
    const NameHashes* listed = ahead ? ahead->names(folders[f]) : nullptr;
    const FolderNames names = listed ? FolderNames(folder, *listed) : FolderNames(folder, in.size() * 2);
    for (const std::uint32_t r : in) {
      const std::string_view from = rows.from(r), to = rows.to(r);
      if (!from.empty() && names.hasSource(from)) rows.setFlag(r, PassRows::kFromThere);
      if (names.hasTarget(to)) rows.setFlag(r, PassRows::kToThere);
      if (rows.preset(r).none() && targetIsItself(folder, from, to)) rows.setFlag(r, PassRows::kItself);
    }
  }
}

// The plan goes to the record a part at a time, each on the disk before the
// first rename it describes, so that the files' identities are read beside
// the renames rather than before them. A part ends with a group and holds
// as many steps as the parts before it, at least kFirstPart: a pass of a
// million files syncs its record a dozen times.
class PlanParts {
 public:
  // `identity(row)` makes sure the row's identity is there to be written.
  PlanParts(platform::RecordWriter& journal, const PassSteps& steps,
            std::function<void(std::uint32_t row)> identity)
      : journal_(journal), steps_(steps), identity_(std::move(identity)) {
    lines_.text().reserve(kChunkBytes + 4096);
  }

  // The record's head; nothing is on the disk until the first part.
  bool begin(std::string_view path, const std::vector<RunFolder>& folders) {
    if (!journal_.create(path)) return false;
    lines_.header();
    for (std::size_t f = 0; f < folders.size(); ++f)
      lines_.folder(static_cast<std::uint32_t>(f),
                    {folders[f].dir, folders[f].identity.device, folders[f].identity.inode});
    lines_.begin(PhaseKind::Pass);
    return true;
  }

  bool needs(std::size_t end) const { return end > planned_; }
  // Steps [0, end) are in the record once this returns true.
  bool cover(std::size_t end) {
    if (end <= planned_ && committed_) return true;
    std::size_t to = std::min(steps_.size(), std::max(end, planned_ + std::max(kFirstPart, planned_)));
    while (to < steps_.size() && to > 0 && steps_.groupOf(to) == steps_.groupOf(to - 1)) ++to;
    for (std::size_t k = planned_; k < to; ++k) identity_(steps_.rowOf(k));
    for (std::size_t k = planned_; k < to; ++k) {
      lines_.step(steps_[k]);
      if (lines_.text().size() < kChunkBytes) continue;
      if (!journal_.write(lines_.text())) return false;
      lines_.text().clear();
    }
    lines_.planned(to);
    if (!journal_.write(lines_.text())) return false;
    lines_.text().clear();
    if (!(committed_ ? journal_.sync() : journal_.commit())) return false;
    committed_ = true;
    planned_ = to;
    return true;
  }

 private:
  static constexpr std::size_t kChunkBytes = std::size_t{1} << 20, kFirstPart = 1024;
  platform::RecordWriter& journal_;
  const PassSteps& steps_;
  std::function<void(std::uint32_t)> identity_;
  JournalLines lines_;
  std::size_t planned_ = 0;
  bool committed_ = false;
};

}  // namespace

int progressMarks(int i, int n) {
  if (n <= 0 || i <= 0) return 0;
  const double marks = std::floor(static_cast<double>(i) / static_cast<double>(n) * 20.0);
  return marks >= 20.0 ? 20 : static_cast<int>(marks);
}

PassOutcome renamePass(FileList& list, std::string_view journalPath, const ProgressFn& progress,
                       const StopFn& stop, platform::RenameWays* ways, PassKind kind, PassAhead* ahead) {
  PassOutcome out;
  const int n = list.rowCount();
  out.total = n;
  const auto nu = static_cast<std::size_t>(n);
  const bool toUtf8 = kind == PassKind::NamesToUtf8;

  std::vector<RunFolder> folders;
  std::vector<std::vector<std::uint32_t>> rowsOf;
  PassRows rows(list, toUtf8);
  gatherRows(list, toUtf8, rows, folders, rowsOf);

  // Each folder only as the rows found it: one put in its place since (or a
  // link to another) fails its rows, and nothing in it is touched.
  std::vector<Verdict> folderFailure(folders.size());
  for (std::size_t f = 0; f < folders.size(); ++f) {
    const platform::Folder folder = folders[f].openAsAdded();
    if (folder.isOpen()) continue;
    folderFailure[f] = folderVerdict(folder);
    for (const std::uint32_t r : rowsOf[f])
      if (rows.preset(r).none()) rows.setPreset(r, folderFailure[f].reason);
    folders[f].identity = {};
  }
  if (ahead && !ahead->matches(list)) ahead = nullptr;
  std::optional<IdentityScan<PassRows>> scan;  // reads from the list: stopped before the list changes
  if (!ahead) scan.emplace(folders, rowsOf, rows);
  lookAtFolders(folders, rowsOf, rows, ahead);

  const Plan plan = detail::planRows(rows, NameRules{}, PlanUse::Pass);
  platform::RecordWriter journal;
  std::vector<StepOutcome> byRow;
  {
    // A file that went away since the listing has no identity: its step
    // fails unrun, and so do the steps that need its name freed.
    const auto identity = [&](std::uint32_t row) {
      return ahead ? ahead->identities().get(row) : scan->get(row);
    };
    const PassSteps planned(plan, rows, folders, [&](std::uint32_t row, StepRef& s) {
      s.file = row;
      s.folder = rows.folder(row);
      const platform::FileIdentity* id = ahead ? ahead->identities().known(row) : scan->known(row);
      s.missing = !id;
      s.id = id ? *id : platform::FileIdentity{folders[s.folder].identity.device, 0, 0, 0};
    });
    PlanParts parts(journal, planned, identity);
    if (!parts.begin(journalPath, folders) || !parts.cover(0)) {
      out.status = PassOutcome::Status::JournalFailed;
      out.journalError = journal.error();
      journal.close();
      return out;
    }
    ProgressMarks marks(n, progress);
    int settledRows = 0;
    for (std::size_t r = 0; r < nu; ++r) settledRows += !plan.verdicts[r].reason.none();
    marks.after(settledRows);
    platform::RenameWays own;
    PhaseRunnerOf<PassSteps> runner(journal, planned, folders, stop, ways ? *ways : own);
    const std::vector<StepOutcome> steps = runner.run(
        [&](std::size_t files) {
          settledRows += static_cast<int>(files);
          marks.after(settledRows);
        },
        // What the runner has recorded goes first: a part's steps follow its P line.
        [&](std::size_t end) { return !parts.needs(end) || (runner.flush() && parts.cover(end)); });
    byRow = planned.byRow(nu, steps);
    std::size_t moved = 0;
    for (std::size_t r = 0; r < nu; ++r) moved += plan.verdicts[r].reason.none() && byRow[r].done;
    // The end marker is written, not synced: after a power cut the disk,
    // checked file by file, tells the rest.
    runner.lines().end(moved);
    if (!runner.flush()) out.journalError = runner.error();
  }
  journal.close();
  if (scan) scan->abandon();
  if (ahead) ahead->identities().abandon();

  const filelist::FileList::Batch batch(list);
  if (toUtf8) out.total = 0;
  for (std::size_t r = 0; r < nu; ++r) {
    const int row = static_cast<int>(r);
    if (toUtf8 && !platform::isMarkedName(rows.from(r))) continue;  // not its business
    out.total += toUtf8;
    Verdict v = plan.verdicts[r];
    if (const Verdict& ff = folderFailure[rows.folder(r)]; !ff.reason.none() && v.reason == ff.reason) v = ff;
    bool moved = false;
    if (v.reason.none()) {
      moved = byRow[r].done;
      if (!moved) v = byRow[r].verdict;
    }
    if (v.reason == why::Stopped) {
      // Not reached: nothing happened to it, and no older status may say otherwise.
      ++out.stopped;
      list.setStatus(row, filelist::Status::None);
      continue;
    }
    if (!v.reason.failed()) {
      ++out.succeeded;
      if (moved) {
        ++out.renamed;
        list.setOldName(row, std::string(rows.to(r)));  // marked as it is on disk
      }
      const bool same = !toUtf8 && v.reason == why::Unchanged;
      out.unchanged += same;
      list.setStatus(row, toUtf8 ? filelist::Status::NameConverted
                          : same ? filelist::Status::Unchanged
                                 : filelist::Status::Renamed);
    } else if (toUtf8) {
      list.setStatus(row, filelist::Status::ConversionFailed, v.reason, v.detail);
    } else {
      list.showProposal(row);
      list.setStatus(row, filelist::Status::RenameFailed, v.reason, v.detail);
    }
  }
  return out;
}

}  // namespace qorin::rename
