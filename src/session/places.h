// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its files: config.ini and dir.txt, and the record
// of the last renaming pass. Handed to the session, so tests and portable use
// can point everything at one folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qorin::session {

struct Places {
  // Each ends in the separator, or is empty when there is no folder to use:
  // then nothing is read from or written to it.
  std::string configDir;  // config.ini and dir.txt
  std::string stateDir;   // the records of passes, tag backups
  // Folders that would have been used but were refused, as another user owns
  // them or may write to them; the window names them once at start.
  std::vector<std::string> refused;

  std::string configFile() const { return configDir.empty() ? std::string() : configDir + "config.ini"; }
  std::string presetsFile() const { return configDir.empty() ? std::string() : configDir + "presets.ini"; }
  std::string dirMemoryFile() const { return configDir.empty() ? std::string() : configDir + "dir.txt"; }

  // Beside the executable when its folder is writable and safe, otherwise per user.
  static Places standard();
  // The same for a program in `programDir`.
  static Places forProgram(std::string_view programDir);
  // Everything in `dir`.
  static Places in(const std::string& dir);
};

}  // namespace qorin::session
