// Toolbar 开始命名 and 撤消: the pass or the undo over the session, with the
// wait cursor, the progress marks in the status bar and the summary.
#pragma once

#include "platform/gui/dialogs.h"
#include "session/session.h"

class QLabel;
class QWidget;

namespace qorin::rename {

void renameCommand(session::Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent);
void undoCommand(session::Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent);

}  // namespace qorin::rename
