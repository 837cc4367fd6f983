#pragma once

#include "platform/dialogs_qt.h"

namespace qorin {
class MainWindow;
namespace rename {
// Toolbar 开始命名 and 撤消: the pass or the undo with its summary.
void renameCommand(MainWindow& w);
void undoCommand(MainWindow& w);
}  // namespace rename
}  // namespace qorin
