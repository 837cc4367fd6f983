// Where the program keeps its files: config.ini and dir.txt, and the record
// of the last renaming pass. Handed to the session, so tests and portable use
// can point everything at one folder.
#pragma once

#include <string>

namespace qorin::session {

struct Places {
  std::string configDir;  // config.ini and dir.txt; ends in the separator
  std::string stateDir;   // the journal of the last pass; ends in the separator

  std::string configFile() const { return configDir + "config.ini"; }
  std::string dirMemoryFile() const { return configDir + "dir.txt"; }

  // Beside the executable when its folder is writable, otherwise per user.
  static Places standard();
  // Everything in `dir`.
  static Places in(const std::string& dir);
};

}  // namespace qorin::session
