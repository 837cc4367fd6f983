// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/places.h"

#include <algorithm>

#include "platform/fs.h"

namespace qorin::session {

Places Places::standard() { return forProgram(platform::programDirectory()); }

Places Places::forProgram(std::string_view programDir) {
  Places p;
  const auto take = [&p](std::string dir, std::string& slot) {
    if (dir.empty()) return;
    if (platform::folderIsSafe(dir)) {
      slot = std::move(dir);
    } else if (std::find(p.refused.begin(), p.refused.end(), dir) == p.refused.end()) {
      p.refused.push_back(std::move(dir));
    }
  };
  take(platform::configDirectoryFor(programDir), p.configDir);
  take(platform::stateDirectoryFor(programDir), p.stateDir);
  return p;
}

Places Places::in(const std::string& dir) {
  const std::string d = platform::withSeparator(dir);
  return {d, d, {}};
}

}  // namespace qorin::session
