// SPDX-License-Identifier: GPL-3.0-or-later
// A pass as its record names it to the user.
#pragma once

#include <cstdint>
#include <string>

namespace qorin::rename {

// A pass as its user knows it, for a question or a summary to name it.
struct PassSummary {
  std::int64_t began = 0;    // seconds since the epoch; 0: not known
  std::string folder;        // the first of its folders, as its rows showed it (code page)
  int folders = 0;           // how many it renamed in
  bool moreFolders = false;  // and more than that: too many to read them all
  int files = -1;            // files an undo would give back; -1: not known
};

}  // namespace qorin::rename
