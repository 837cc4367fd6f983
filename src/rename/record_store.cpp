// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/record_store.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>

#include "platform/fs.h"
#include "rename/journal.h"
#include "rename/journal_fields.h"

namespace qorin::rename {

namespace {

constexpr std::string_view kSuffix = ".journal";

// Time first, so that names sort as the passes were made.
std::string recordName(std::uint64_t time) {
  std::random_device rd;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%016llx-%08x", static_cast<unsigned long long>(time), rd());
  return std::string(buf) + std::string(kSuffix);
}

std::uint64_t now() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count());
}

bool isRegularOwnFile(const std::string& path) { return platform::readOwnFileEnds(path, 0, 0).has_value(); }

// The records' names in `dir`, newest first.
std::vector<std::string> recordNames(const std::string& dir) {
  platform::DirectoryListing listing = platform::listFiles(dir);
  std::vector<std::string>& names = listing.names;
  std::erase_if(names,
                [](const std::string& n) { return !n.ends_with(kSuffix) || n.size() <= kSuffix.size(); });
  std::sort(names.begin(), names.end(), std::greater<>());
  return std::move(names);
}

// A line's fields when its checksum holds.
std::optional<std::string_view> checkedLine(std::string_view line) {
  const auto tab = line.rfind('\t');
  if (tab == std::string_view::npos || line.size() - tab - 1 != 8) return std::nullopt;
  const auto sum = detail::fields::number<std::uint32_t>(line.substr(tab + 1), 16);
  const std::string_view payload = line.substr(0, tab);
  if (!sum || *sum != crc32(payload)) return std::nullopt;
  return payload;
}

// The folders of a record, from its folder lines, which follow its first line.
void readFolders(std::string_view head, bool whole, PassSummary& out) {
  std::size_t at = head.find('\n');
  while (at != std::string_view::npos) {
    const std::size_t end = head.find('\n', at + 1);
    if (end == std::string_view::npos) {
      out.moreFolders = !whole && out.folders > 0;  // the head was cut inside its folders
      return;
    }
    const auto payload = checkedLine(head.substr(at + 1, end - at - 1));
    if (!payload || !payload->starts_with("F ")) return;
    // Version 1 wrote no inode.
    const detail::fields::Fields f = detail::fields::fieldsOf(*payload);
    if (f.size() != 4 && f.size() != 5) return;
    if (out.folders++ == 0) out.folder = detail::fields::unescape(f[f.size() - 1]).value_or(std::string());
    at = end;
  }
}

// The time a record's name begins with, in nanoseconds.
std::uint64_t nameTime(std::string_view path) {
  const std::string_view name = path.substr(path.find_last_of("/\\") + 1);
  return detail::fields::number<std::uint64_t>(name.substr(0, 16), 16).value_or(0);
}

}  // namespace

PassSummary RecordStore::summaryOf(std::string_view path) {
  // Enough for the folder lines of a pass over some thousands of folders.
  constexpr std::size_t kHead = std::size_t{1} << 20;
  PassSummary out;
  out.began = static_cast<std::int64_t>(nameTime(path) / 1000000000u);
  if (const auto ends = platform::readOwnFileEnds(path, kHead, 0))
    readFolders(ends->head, ends->complete, out);
  const JournalPeek end = peekJournal(path);
  if (end.ended && end.pending <= static_cast<std::uint64_t>(INT32_MAX))
    out.files = static_cast<int>(end.pending);
  return out;
}

RecordStore::RecordStore(std::string stateDir) : state_(std::move(stateDir)) {
  if (!state_.empty()) dir_ = state_ + "records" + platform::kSeparator;
}

std::optional<HeldRecord> RecordStore::reserve(int& error) const {
  error = 0;
  if (!usable()) {
    error = ENOENT;
    return std::nullopt;
  }
  for (int attempt = 0; attempt < 8; ++attempt) {
    HeldRecord r;
    r.path = dir_ + recordName(now());
    switch (r.hold.create(r.path)) {
      case platform::HoldResult::Held:
        return r;
      case platform::HoldResult::Missing:  // the name was taken meanwhile
        continue;
      default:
        error = r.hold.error();
        return std::nullopt;
    }
  }
  error = EEXIST;
  return std::nullopt;
}

void RecordStore::adoptLegacy() const {
  const std::string legacy = state_ + "journal";
  const std::string temporary = legacy + ".new";
  // That version committed a plan by renaming its temporary over the
  // record without syncing the folder: a complete one there is the newer.
  if (isRegularOwnFile(temporary)) {
    JournalRecord fresh;
    if (readJournal(temporary, fresh) == JournalRead::Ok) {
      platform::replaceFile(temporary, legacy);
    } else {
      platform::removeOwnFile(temporary);  // a plan cut short renamed nothing
    }
  }
  if (!isRegularOwnFile(legacy) || !platform::ownFolder(dir_, true)) return;
  // Older than any record of this version.
  platform::renameNoReplace(legacy, dir_ + recordName(0));
}

EndedRecords RecordStore::takeEnded() const {
  EndedRecords out;
  if (!usable()) return out;
  adoptLegacy();
  // A folder someone else could have put there (a link to theirs) or may
  // write to is not read.
  if (!platform::ownFolder(dir_, false)) {
    if (platform::exists(dir_)) out.refused.push_back(dir_);
    return out;
  }
  for (const std::string& n : recordNames(dir_)) {
    HeldRecord r;
    r.path = dir_ + n;
    // Busy: its owner still runs. A link or anything but a file: not ours.
    switch (r.hold.take(r.path)) {
      case platform::HoldResult::Held:
        out.records.push_back(std::move(r));
        break;
      case platform::HoldResult::Busy:
        if (out.records.empty() && out.busyNewest.empty()) out.busyNewest = r.path;
        break;
      case platform::HoldResult::Foreign:
        out.refused.push_back(r.path);
        break;
      default:
        break;
    }
  }
  return out;
}

void RecordStore::prune(std::vector<HeldRecord>& own) const {
  if (!usable() || !platform::ownFolder(dir_, false)) return;
  struct Kept {
    std::string path;
    std::uint64_t bytes = 0;
    bool removable = false, undone = false;
    HeldRecord taken;  // one of another program that has ended, held meanwhile
  };
  std::vector<Kept> kept;
  std::uint64_t total = 0;
  for (const std::string& n : recordNames(dir_)) {
    Kept k;
    k.path = dir_ + n;
    const bool ours =
        std::any_of(own.begin(), own.end(), [&](const HeldRecord& r) { return r.path == k.path; });
    const bool held = ours || (k.taken.hold.take(k.path) == platform::HoldResult::Held);
    if (held && !ours) k.taken.path = k.path;
    if (const auto ends = platform::readOwnFileEnds(k.path, 0, 0)) k.bytes = ends->size;
    // Only a record that ended says what is left in it; one cut short or
    // unreadable waits for a start to deal with it.
    const JournalPeek end = held ? peekJournal(k.path) : JournalPeek{};
    k.removable = held && !kept.empty() && end.read == JournalRead::Ok && end.ended;
    k.undone = end.pending == 0;
    total += k.bytes;
    kept.push_back(std::move(k));
  }
  std::vector<std::size_t> order;  // the removable ones, nothing left first, then the oldest
  for (std::size_t i = kept.size(); i-- > 0;)
    if (kept[i].removable) order.push_back(i);
  std::stable_partition(order.begin(), order.end(), [&](std::size_t i) { return kept[i].undone; });
  std::size_t count = kept.size();
  for (const std::size_t i : order) {
    if (count <= kKeptPasses && total <= kKeptBytes) break;
    Kept& k = kept[i];
    if (k.taken.path.empty()) {
      const auto mine =
          std::find_if(own.begin(), own.end(), [&](const HeldRecord& r) { return r.path == k.path; });
      if (mine == own.end()) continue;
      retire(*mine);
      own.erase(mine);
    } else {
      retire(k.taken);
    }
    --count;
    total -= k.bytes;
  }
}

void RecordStore::retire(HeldRecord& r) {
  if (!r.path.empty()) platform::removeOwnFile(r.path);
  r.hold.release();
  r.path.clear();
}

std::string RecordStore::setAside(HeldRecord& r) const {
  std::string where;
  for (int n = 1; n < 10000; ++n) {
    const std::string target = state_ + "journal-" + std::to_string(n) + ".unusable";
    const platform::RenameResult moved = platform::renameNoReplace(r.path, target);
    if (moved == platform::RenameResult::TargetExists) continue;
    if (moved == platform::RenameResult::Renamed) where = target;
    break;
  }
  r.hold.release();
  r.path.clear();
  return where;
}

}  // namespace qorin::rename
