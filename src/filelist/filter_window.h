#pragma once

namespace qorin {
class MainWindow;
void showFilterWindow(MainWindow& owner);
}  // namespace qorin
