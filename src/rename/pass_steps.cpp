#include "rename/pass_steps.h"

#include <cstdio>

#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rename::detail {

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

namespace {
std::uint64_t slotHash(std::string_view name) { return std::max<std::uint64_t>(platform::nameHash(name), 1); }
}  // namespace

FolderNames::FolderNames(const platform::Folder& folder, std::size_t interest) : folder_(folder) {
  if (interest <= kProbeLimit) return;
  std::vector<std::uint64_t> hashes;
  listed_ = folder.eachName([&](std::string_view name) { hashes.push_back(slotHash(name)); });
  if (!listed_) return;
  std::size_t size = 16;
  while (size < hashes.size() * 2) size *= 2;
  slots_.assign(size, 0);
  for (const std::uint64_t h : hashes) {
    std::size_t i = h & (size - 1);
    while (slots_[i] != 0 && slots_[i] != h) i = (i + 1) & (size - 1);
    slots_[i] = h;
  }
}

bool FolderNames::listedHas(std::string_view name) const {
  const std::uint64_t h = slotHash(name);
  for (std::size_t i = h & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
    if (slots_[i] == h) return true;
    if (slots_[i] == 0) return false;
  }
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

Verdict folderVerdict(const platform::Folder& f) {
  if (f.changed()) return {Reason::FolderChanged, 0};
  if (f.error() != 0) return {Reason::SystemError, f.error()};
  return {Reason::SourceMissing, 0};
}

}  // namespace qorin::rename::detail
