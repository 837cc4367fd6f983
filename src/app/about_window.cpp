#include "app/about_window.h"

#include "app/main_window.h"

namespace qorin {
void showAboutWindow(MainWindow&) {}
}  // namespace qorin
