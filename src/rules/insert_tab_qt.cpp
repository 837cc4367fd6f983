#include "app/main_window.h"
#include "rules/rule_tabs_qt.h"

namespace qorin::rules {

void setupInsertTab(MainWindow&) {}
void runInsertTab(MainWindow&, int) {}

}  // namespace qorin::rules
