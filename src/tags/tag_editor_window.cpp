#include "tags/tag_editor_window.h"

#include "app/main_window.h"

namespace qorin {
namespace tags {
void prepareGenreTables() {}
void openTagEditor(MainWindow&, int) {}
}  // namespace tags
}  // namespace qorin
