// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/pass_steps.h"

#include <cerrno>
#include <cstdio>

#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rename::detail {

Verdict verdictOf(const platform::Folder::Outcome& o) {
  switch (o.result) {
    case platform::RenameResult::Renamed:
      return {};
    case platform::RenameResult::TargetExists:
      return {why::TargetExists, 0};
    case platform::RenameResult::SourceMissing:
      return {why::SourceMissing, 0};
    case platform::RenameResult::Unconvertible:
      return {why::IllegalName, 0};
    case platform::RenameResult::Failed:
      break;
  }
  return {why::SystemError, o.error};
}

namespace {
std::string randomName(std::mt19937_64& rng) {
  char buf[40];
  std::snprintf(buf, sizeof buf, ".qorin-%016llx.tmp", static_cast<unsigned long long>(rng()));
  return buf;
}
}  // namespace

std::string temporaryName(std::mt19937_64& rng, const platform::Folder& folder) {
  for (;;)
    if (std::string n = randomName(rng); !folder.identityOf(n)) return n;
}

FolderNames::FolderNames(const platform::Folder& folder, std::size_t interest) : folder_(folder) {
  if (interest <= kProbeLimit) return;
  listed_ = folder.eachName([&](std::string_view name) { hashes_.push_back(platform::nameHash(name)); });
  if (!listed_) return;
  std::sort(hashes_.begin(), hashes_.end());
  unsigned bits = 1;
  while (bits < 32 && (std::size_t{1} << (bits + 2)) < hashes_.size()) ++bits;
  shift_ = 64 - bits;
  bucket_.assign((std::size_t{1} << bits) + 1, 0);
  for (const std::uint64_t h : hashes_) ++bucket_[(h >> shift_) + 1];
  for (std::size_t b = 1; b < bucket_.size(); ++b) bucket_[b] += bucket_[b - 1];
}

bool FolderNames::listedHas(std::string_view name) const {
  const std::uint64_t h = platform::nameHash(name);
  if (given_) return given_->lookup(h) != NameHashes::kNone;
  const std::size_t b = h >> shift_;
  const auto first = hashes_.begin() + bucket_[b], last = hashes_.begin() + bucket_[b + 1];
  return std::find(first, last, h) != last;
}

bool FolderNames::hasSource(std::string_view name) const {
  return listed_ ? listedHas(name) : folder_.identityOf(name).has_value();
}

bool FolderNames::hasTarget(std::string_view name) const {
  return (!listed_ || listedHas(name)) && folder_.identityOf(name).has_value();
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

int StepIntents::written(bool sync) {
  const bool ok = journal_.write(lines_.text()) && (!sync || journal_.sync());
  lines_.text().clear();
  if (ok || back_) return 0;
  return journal_.error() != 0 ? journal_.error() : EIO;
}

int StepIntents::linking() {
  lines_.linking(step_, back_);
  return written(true);
}

int StepIntents::claiming() {
  lines_.claiming(step_, back_);
  return written(true);
}

// Not synced: a kill keeps what was written, and after a power cut the
// claim's first line alone lets the recovery take the placeholder away.
void StepIntents::claimed(std::uint64_t inode) {
  lines_.claimed(step_, back_, inode);
  written(false);
}

Verdict folderVerdict(const platform::Folder& f) {
  if (f.changed()) return {why::FolderChanged, 0};
  if (f.error() != 0) return {why::SystemError, f.error()};
  return {why::SourceMissing, 0};
}

}  // namespace qorin::rename::detail
