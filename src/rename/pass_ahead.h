// SPDX-License-Identifier: GPL-3.0-or-later
// What a pass reads before it renames: the identities of its files (what
// the record keeps of each, so that an undo never moves a file that is not
// the one the pass moved) and the names its folders hold. The identities
// are one system call per file, the largest cost of a pass beside the
// renames, so they are read on a helper thread while the caller does other
// work.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "filelist/file_list.h"
#include "platform/fs.h"
#include "rename/pass_steps.h"
#include "rename/plan.h"

namespace qorin::rename {

namespace detail {

// Reads the identities of `rows` (from(r) is the name on disk, preset(r)
// other than None skips the row), a chunk of one folder's rows at a time,
// on a helper thread that starts at once. The caller asks for rows as it
// needs them: one the helper has not reached yet it reads itself.
template <class Rows>
class IdentityScan {
 public:
  IdentityScan(const std::vector<RunFolder>& folders, const std::vector<std::vector<std::uint32_t>>& rowsOf,
               const Rows& rows)
      : folders_(folders),
        rowsOf_(rowsOf),
        rows_(rows),
        ids_(rows.size()),
        state_(rows.size()),
        folderOf_(rows.size(), UINT32_MAX) {
    for (std::size_t f = 0; f < rowsOf.size(); ++f) {
      for (const std::uint32_t r : rowsOf[f]) folderOf_[r] = static_cast<std::uint32_t>(f);
      for (std::size_t b = 0; b < rowsOf[f].size(); b += kChunk)
        chunks_.push_back({f, b, std::min(b + kChunk, rowsOf[f].size())});
    }
    if (rows.size() >= kHelperFrom) {
      try {
        helper_ = std::thread([this] { work(); });
      } catch (const std::system_error&) {
        // No thread to be had: the caller's thread reads each row it asks for.
      }
    }
  }
  ~IdentityScan() { abandon(); }
  IdentityScan(const IdentityScan&) = delete;
  IdentityScan& operator=(const IdentityScan&) = delete;

  // Lets the helper stop after its chunk.
  void abandon() {
    next_.store(chunks_.size());
    if (helper_.joinable()) helper_.join();
  }

  // The row's identity, read now if the helper has not: nullptr when its
  // file is not there. The caller's thread only.
  const platform::FileIdentity* get(std::size_t row) {
    std::uint8_t s = state_[row].load(std::memory_order_acquire);
    if (s == kUnread && claim(row)) {
      const std::uint32_t f = folderOf_[row];
      if (f == UINT32_MAX) {
        state_[row].store(kMissing, std::memory_order_release);
      } else {
        if (f != openIndex_) {
          openIndex_ = f;
          open_ = folders_[f].openAsAdded();
        }
        read(open_, row);
      }
    }
    // Taken by the helper: its one system call is under way.
    while ((s = state_[row].load(std::memory_order_acquire)) == kClaimed) std::this_thread::yield();
    return s == kFound ? &ids_[row] : nullptr;
  }
  // What get() gave for the row, without reading.
  const platform::FileIdentity* known(std::size_t row) const {
    return state_[row].load(std::memory_order_acquire) == kFound ? &ids_[row] : nullptr;
  }

 private:
  static constexpr std::size_t kChunk = 512, kHelperFrom = 4096;
  enum : std::uint8_t { kUnread, kClaimed, kFound, kMissing };
  struct Chunk {
    std::size_t folder, begin, end;
  };

  bool claim(std::size_t row) {
    std::uint8_t unread = kUnread;
    return state_[row].compare_exchange_strong(unread, kClaimed, std::memory_order_acq_rel);
  }
  void read(const platform::Folder& folder, std::size_t row) {
    const auto id = folder.isOpen() ? folder.identityOf(rows_.from(row)) : std::nullopt;
    if (id) ids_[row] = *id;
    state_[row].store(id ? kFound : kMissing, std::memory_order_release);
  }

  void work() {
    for (;;) {
      const std::size_t c = next_.fetch_add(1);
      if (c >= chunks_.size()) return;
      const Chunk& ch = chunks_[c];
      const platform::Folder folder = folders_[ch.folder].openAsAdded();
      for (std::size_t k = ch.begin; k < ch.end; ++k) {
        const std::uint32_t r = rowsOf_[ch.folder][k];
        if (rows_.preset(r).none() && claim(r)) read(folder, r);
      }
    }
  }

  const std::vector<RunFolder>& folders_;
  const std::vector<std::vector<std::uint32_t>>& rowsOf_;
  const Rows& rows_;
  std::vector<platform::FileIdentity> ids_;  // a row's, written by whoever claimed it
  std::vector<std::atomic<std::uint8_t>> state_;
  std::vector<std::uint32_t> folderOf_;  // index into folders_ per row
  std::vector<Chunk> chunks_;
  std::atomic<std::size_t> next_{0};
  std::thread helper_;
  platform::Folder open_;  // the caller's, for the rows it reads itself
  std::uint32_t openIndex_ = UINT32_MAX;
};

}  // namespace detail

// What a pass that follows at once may take from before it: the command
// line starts this as soon as its list is made, and naming and printing the
// plan hide the reads. The identities are read on a helper thread from a
// copy of the names, so the list may be worked on meanwhile; the folders'
// names are those the list's add saw an instant before, rather than a second
// listing. A name that appeared since only fails its rename, as no rename
// replaces a file. The pass takes any of it only while the list's names and
// order are unchanged, and looks again for a file that was not found.
class PassAhead {
 public:
  PassAhead(const filelist::FileList& list, const FolderCache& listed);
  ~PassAhead();
  PassAhead(const PassAhead&) = delete;
  PassAhead& operator=(const PassAhead&) = delete;

  // The names in the folder as listed, if it was listed as this folder.
  const NameHashes* names(const detail::RunFolder& folder) const;

  // The rows' names on disk, one after another, for the scan.
  struct Names {
    std::string bytes;
    std::vector<std::uint32_t> ends;  // a million names of 4 KiB still fit
    std::size_t size() const { return ends.size(); }
    std::string_view from(std::size_t r) const {
      const std::size_t b = r ? ends[r - 1] : 0;
      return std::string_view(bytes).substr(b, ends[r] - b);
    }
    Outcome preset(std::size_t) const { return Outcome{}; }
  };

  bool matches(const filelist::FileList& list) const;
  detail::IdentityScan<Names>& identities() { return *scan_; }

 private:
  std::uint64_t version_;
  Names names_;
  std::vector<detail::RunFolder> folders_;
  std::vector<std::vector<std::uint32_t>> rowsOf_;
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::shared_ptr<const NameHashes>>
      listed_;  // by device and inode
  std::optional<detail::IdentityScan<Names>> scan_;
};

}  // namespace qorin::rename
