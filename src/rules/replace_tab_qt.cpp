#include "app/main_window.h"
#include "rules/rule_tabs_qt.h"

namespace qorin::rules {

void setupReplaceTab(MainWindow&) {}
void runReplaceTab(MainWindow&, int) {}

}  // namespace qorin::rules
