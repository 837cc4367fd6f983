// The rule tabs of the main window: each tab reads its own controls into its
// rule's options and runs the rule; extra wiring per tab (greying, mirroring).
#pragma once

class QObject;

namespace qorin {
class MainWindow;
}

namespace qorin::rules {

enum Tab { kGeneralTab = 0, kReplaceTab = 1, kInsertTab = 2, kCaseTab = 3, kMp3Tab = 4 };

void setupGeneralTab(MainWindow& w);
void setupReplaceTab(MainWindow& w);
void setupInsertTab(MainWindow& w);
void setupCaseTab(MainWindow& w);
void setupMp3Tab(MainWindow& w);

// Compute newName of entries 0..n-1 with the tab's rule.
void runGeneralTab(MainWindow& w, int n);
void runReplaceTab(MainWindow& w, int n);
void runInsertTab(MainWindow& w, int n);
void runCaseTab(MainWindow& w, int n);
void runMp3Tab(MainWindow& w);  // always every entry

// The placeholder buttons' shared handler.
void insertPlaceholder(MainWindow& w, QObject* button);

}  // namespace qorin::rules
