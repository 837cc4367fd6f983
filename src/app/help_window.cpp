#include "app/help_window.h"

#include "app/main_window.h"

namespace qorin {
void showHelp(MainWindow&) {}
}  // namespace qorin
