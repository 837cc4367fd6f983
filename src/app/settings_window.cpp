#include "app/settings_window.h"

#include "app/main_window.h"

namespace qorin {
void showSettingsWindow(MainWindow&) {}
}  // namespace qorin
