// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/start_up.h"

#include "session/messages.h"

namespace qorin::session {

void startSession(Session& s, const std::function<void(const std::string& words)>& say) {
  s.loadSettings();
  if (!s.places().refused.empty() && say) say(refusedFoldersText(s.places().refused));
}

RecordsTaken takeRecordsAtStart(Session& s, const RecordAsker& ask) {
  s.start();
  return s.takeRecords(ask);
}

}  // namespace qorin::session
