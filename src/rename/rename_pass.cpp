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
#include "rename/pass_steps.h"
#include "rename/plan.h"
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

}  // namespace qorin::rename
