// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/record_store.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>

#include "platform/fs.h"
#include "rename/journal.h"

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

}  // namespace

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

std::vector<HeldRecord> RecordStore::takeEnded() const {
  std::vector<HeldRecord> out;
  if (!usable()) return out;
  adoptLegacy();
  // A folder someone else could have put there (a link to theirs) is not read.
  if (!platform::ownFolder(dir_, false)) return out;
  platform::DirectoryListing listing = platform::listFiles(dir_);
  std::vector<std::string>& names = listing.names;
  std::erase_if(names,
                [](const std::string& n) { return !n.ends_with(kSuffix) || n.size() <= kSuffix.size(); });
  std::sort(names.begin(), names.end(), std::greater<>());
  for (const std::string& n : names) {
    HeldRecord r;
    r.path = dir_ + n;
    // Busy: its owner still runs. A link or anything but a file: not ours.
    if (r.hold.take(r.path) == platform::HoldResult::Held) out.push_back(std::move(r));
  }
  return out;
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
