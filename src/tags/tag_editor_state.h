// SPDX-License-Identifier: GPL-3.0-or-later
// What the tag editor keeps between its openings: each opening is a new
// window, but the path, the genre selections and the change flags live on in
// this record, which the main window owns for the program's whole run.
#pragma once

#include <array>
#include <string>

namespace qorin::tags {

struct TagEditorState {
  std::string currentMp3Path;
  // Selection index of each genre list when last looked at ([0] ID3v1, [1] ID3v2).
  std::array<int, 2> genreSelection{0, 0};
  // Set by the groups' change notifications; never cleared by the window.
  std::array<bool, 2> tagModified{false, false};
  // Where a file rewritten in place keeps its backup meanwhile (the folder
  // restorePendingBackups looks at); empty: there is none, and a file that
  // must be rewritten in place is not written.
  std::string stateDirectory;
};

}  // namespace qorin::tags
