// The rule tabs of the main window: each tab reads its own controls into its
// rule's options and runs the rule; extra wiring per tab (greying, mirroring).
#pragma once

class QObject;

namespace qorin::app {
class MainWindow;
}

namespace qorin {
}

namespace qorin::rules {

enum Tab { kGeneralTab = 0, kReplaceTab = 1, kInsertTab = 2, kCaseTab = 3, kMp3Tab = 4 };

void setupGeneralTab(app::MainWindow& w);
void setupReplaceTab(app::MainWindow& w);
void setupInsertTab(app::MainWindow& w);
void setupCaseTab(app::MainWindow& w);
void setupMp3Tab(app::MainWindow& w);

// Compute newName of entries 0..n-1 with the tab's rule.
void runGeneralTab(app::MainWindow& w, int n);
void runReplaceTab(app::MainWindow& w, int n);
void runInsertTab(app::MainWindow& w, int n);
void runCaseTab(app::MainWindow& w, int n);
void runMp3Tab(app::MainWindow& w);  // always every entry

// The placeholder buttons' shared handler.
void insertPlaceholder(app::MainWindow& w, QObject* button);

}  // namespace qorin::rules
