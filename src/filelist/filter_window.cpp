#include "filelist/filter_window.h"

#include "app/main_window.h"

namespace qorin {
void showFilterWindow(MainWindow&) {}
}  // namespace qorin
