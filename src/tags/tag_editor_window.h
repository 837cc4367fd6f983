#pragma once

namespace qorin {
class MainWindow;
namespace tags {
// Fills the genre tables once at start-up.
void prepareGenreTables();
// Opens the tag editor modally for the entry in `row`.
void openTagEditor(MainWindow& owner, int row);
}  // namespace tags
}  // namespace qorin
