#include "app/main_window.h"
#include "rules/rule_tabs_qt.h"

namespace qorin::rules {

void setupGeneralTab(MainWindow&) {}
void runGeneralTab(MainWindow&, int) {}

}  // namespace qorin::rules
