#pragma once

namespace qorin {
class MainWindow;
void showSettingsWindow(MainWindow& owner);
}  // namespace qorin
