// SPDX-License-Identifier: GPL-3.0-or-later
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

// Identities of the rows' files. Taking them needs nothing but the names,
// so on a large pass a helper thread takes them while the caller lists the
// folders and plans; then the caller takes what is left.
class IdentityScan {
 public:
  IdentityScan(const std::vector<RunFolder>& folders, const std::vector<std::vector<std::uint32_t>>& rowsOf,
               const PassRows& rows)
      : folders_(folders), rowsOf_(rowsOf), rows_(rows), ids_(rows.size()), found_(rows.size(), 0) {
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
  const std::vector<platform::FileIdentity>& ids() const { return ids_; }

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
        const std::uint32_t r = rowsOf_[ch.folder][k];
        if (rows_.preset(r) != Reason::None) continue;
        if (const auto id = folder.identityOf(rows_.from(r))) {
          ids_[r] = *id;
          found_[r] = 1;
        }
      }
    }
  }

  const std::vector<RunFolder>& folders_;
  const std::vector<std::vector<std::uint32_t>>& rowsOf_;
  const PassRows& rows_;
  std::vector<platform::FileIdentity> ids_;
  std::vector<unsigned char> found_;  // each row written by one thread only
  std::vector<Chunk> chunks_;
  std::atomic<std::size_t> next_{0};
  std::thread helper_;
};

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
    rows.setRow(r, last, toUtf8 ? Reason::None : list.proposalFailure(row));
    rowsOf[last].push_back(static_cast<std::uint32_t>(r));
  }
  rows.setFolderCount(folders.size());
}

// What exists among the names of each folder's rows, and which moves are
// case-only changes of the file itself. The listing goes as soon as its
// rows know.
void lookAtFolders(const std::vector<RunFolder>& folders,
                   const std::vector<std::vector<std::uint32_t>>& rowsOf, PassRows& rows) {
  for (std::size_t f = 0; f < folders.size(); ++f) {
    if (!folders[f].identity.inode) continue;
    const platform::Folder folder = folders[f].openAsAdded();
    rows.setMaxLength(static_cast<std::uint32_t>(f), folder.nameLimit());
    const std::vector<std::uint32_t>& in = rowsOf[f];
    const FolderNames names(folder, in.size() * 2);
    for (const std::uint32_t r : in) {
      const std::string_view from = rows.from(r), to = rows.to(r);
      if (!from.empty() && names.hasSource(from)) rows.setFlag(r, PassRows::kFromThere);
      if (names.hasTarget(to)) rows.setFlag(r, PassRows::kToThere);
      if (rows.preset(r) == Reason::None && targetIsItself(folder, from, to))
        rows.setFlag(r, PassRows::kItself);
    }
  }
}

// Writes the plan to the record as it is made, a chunk at a time; the
// record reaches the disk before the first rename.
bool writePlan(platform::RecordWriter& journal, std::string_view path, const std::vector<RunFolder>& folders,
               const PassSteps& steps) {
  constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
  if (!journal.create(path)) return false;
  JournalLines lines;
  lines.text().reserve(kChunkBytes + 4096);
  lines.header();
  for (std::size_t f = 0; f < folders.size(); ++f)
    lines.folder(static_cast<std::uint32_t>(f),
                 {folders[f].dir, folders[f].identity.device, folders[f].identity.inode});
  lines.begin(PhaseKind::Pass);
  for (std::size_t k = 0; k < steps.size(); ++k) {
    lines.step(steps[k]);
    if (lines.text().size() < kChunkBytes) continue;
    if (!journal.write(lines.text())) return false;
    lines.text().clear();
  }
  lines.planned(steps.size());
  return journal.write(lines.text()) && journal.commit();
}

}  // namespace

int progressMarks(int i, int n) {
  if (n <= 0 || i <= 0) return 0;
  const double marks = std::floor(static_cast<double>(i) / static_cast<double>(n) * 20.0);
  return marks >= 20.0 ? 20 : static_cast<int>(marks);
}

PassOutcome renamePass(FileList& list, std::string_view journalPath, const ProgressFn& progress,
                       const StopFn& stop, platform::RenameWays* ways, PassKind kind) {
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
      if (rows.preset(r) == Reason::None) rows.setPreset(r, folderFailure[f].reason);
    folders[f].identity = {};
  }
  IdentityScan identities(folders, rowsOf, rows);
  lookAtFolders(folders, rowsOf, rows);

  Plan plan = detail::planRows(rows, NameRules{}, PlanUse::Pass);
  identities.finish();
  // A file that went away between the listing and its identity: plan again
  // without it, as the files depending on it must not move either.
  bool vanished = false;
  for (std::size_t r = 0; r < nu; ++r) {
    if (plan.verdicts[r].reason != Reason::None || identities.found(r)) continue;
    rows.setPreset(r, Reason::SourceMissing);
    vanished = true;
  }
  if (vanished) {
    plan = {};
    plan = detail::planRows(rows, NameRules{}, PlanUse::Pass);
  }
  rowsOf = {};
  platform::RecordWriter journal;
  std::vector<StepOutcome> byRow;
  {
    const std::vector<platform::FileIdentity>& ids = identities.ids();
    const PassSteps planned(plan, rows, folders, [&](std::uint32_t row, StepRef& s) {
      s.file = row;
      s.folder = rows.folder(row);
      s.id = ids[row];
    });
    if (!writePlan(journal, journalPath, folders, planned)) {
      out.status = PassOutcome::Status::JournalFailed;
      out.journalError = journal.error();
      journal.close();
      return out;
    }
    ProgressMarks marks(n, progress);
    int settledRows = 0;
    for (std::size_t r = 0; r < nu; ++r) settledRows += plan.verdicts[r].reason != Reason::None;
    marks.after(settledRows);
    platform::RenameWays own;
    PhaseRunnerOf<PassSteps> runner(journal, planned, folders, stop, ways ? *ways : own);
    const std::vector<StepOutcome> steps = runner.run([&](std::size_t files) {
      settledRows += static_cast<int>(files);
      marks.after(settledRows);
    });
    byRow = planned.byRow(nu, steps);
    std::size_t moved = 0;
    for (std::size_t r = 0; r < nu; ++r) moved += plan.verdicts[r].reason == Reason::None && byRow[r].done;
    // The end marker is written, not synced: after a power cut the disk,
    // checked file by file, tells the rest.
    runner.lines().end(moved);
    if (!runner.flush()) out.journalError = runner.error();
  }
  journal.close();

  const filelist::FileList::Batch batch(list);
  if (toUtf8) out.total = 0;
  for (std::size_t r = 0; r < nu; ++r) {
    const int row = static_cast<int>(r);
    if (toUtf8 && !platform::isGbkName(rows.from(r))) continue;  // not its business
    out.total += toUtf8;
    Verdict v = plan.verdicts[r];
    if (const Verdict& ff = folderFailure[rows.folder(r)]; ff.reason != Reason::None && v.reason == ff.reason)
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
        list.setOldName(row, std::string(platform::nameText(rows.to(r))));
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

}  // namespace qorin::rename
