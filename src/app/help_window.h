#pragma once

namespace qorin {
class MainWindow;
void showHelp(MainWindow& owner);
}  // namespace qorin
