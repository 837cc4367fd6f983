// The rule tabs of the main window: each tab reads its own controls into its
// rule's options and runs the rule; extra wiring per tab (greying, mirroring).
#pragma once

#include "rules/rule.h"

class QObject;

namespace qorin::app {
class MainWindow;
}

namespace qorin {}

namespace qorin::rules {

enum Tab { kGeneralTab = 0, kReplaceTab = 1, kInsertTab = 2, kCaseTab = 3, kMp3Tab = 4 };

void setupGeneralTab(app::MainWindow& w);
void setupReplaceTab(app::MainWindow& w);
void setupInsertTab(app::MainWindow& w);
void setupCaseTab(app::MainWindow& w);
void setupMp3Tab(app::MainWindow& w);

// The options the tab's controls show.
RuleOptions generalTabOptions(const app::MainWindow& w);
RuleOptions replaceTabOptions(const app::MainWindow& w);
RuleOptions insertTabOptions(const app::MainWindow& w);
RuleOptions caseTabOptions(const app::MainWindow& w);
RuleOptions mp3TabOptions(const app::MainWindow& w);

// The placeholder buttons' shared handler.
void insertPlaceholder(app::MainWindow& w, QObject* button);

}  // namespace qorin::rules
