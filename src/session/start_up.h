// SPDX-License-Identifier: GPL-3.0-or-later
// The start every front end makes of its session, in one place: the
// settings read and the folders that were refused named, then what a crash
// may have left taken back and the records of passes taken.
#pragma once

#include <functional>
#include <string>

#include "session/session.h"

namespace qorin::session {

// Before anything is listed: the settings are read, and where Places
// refused folders `say` is given their words once (refusedFoldersText), as
// settings and records then go nowhere.
void startSession(Session& s, const std::function<void(const std::string& words)>& say);

// Tag writes a crash cut short get their files back, then the records of
// passes are taken as `ask` answers (Session::start, Session::takeRecords).
RecordsTaken takeRecordsAtStart(Session& s, const RecordAsker& ask);

}  // namespace qorin::session
