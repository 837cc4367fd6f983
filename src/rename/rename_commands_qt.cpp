#include "rename/rename_commands_qt.h"

#include "app/main_window.h"

namespace qorin {
namespace rename {
void renameCommand(MainWindow&) {}
void undoCommand(MainWindow&) {}
}  // namespace rename
}  // namespace qorin
