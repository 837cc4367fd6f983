#pragma once

#include "platform/gui/dialogs.h"

namespace qorin::app {
class MainWindow;
}

namespace qorin {
namespace rename {
// Toolbar 开始命名 and 撤消: the pass or the undo with its summary.
void renameCommand(app::MainWindow& w);
void undoCommand(app::MainWindow& w);
}  // namespace rename
}  // namespace qorin
