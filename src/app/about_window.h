#pragma once

namespace qorin {
class MainWindow;
void showAboutWindow(MainWindow& owner);
}  // namespace qorin
