#include "app/main_window.h"
#include "rules/rule_tabs_qt.h"

namespace qorin::rules {

void setupCaseTab(MainWindow&) {}
void runCaseTab(MainWindow&, int) {}

}  // namespace qorin::rules
