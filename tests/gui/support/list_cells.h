// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the main window's list and pop-up menu as a user sees them.
#pragma once

#include <QAction>
#include <QMenu>
#include <QString>
#include <QTreeView>

#include "app/main_window.h"

namespace qorin::testing {

inline QString cell(app::MainWindow& w, int row, int col, int role = Qt::DisplayRole) {
  return w.listView()->model()->index(row, col).data(role).toString();
}

// The list's pop-up menu entry with this text, or nullptr.
inline QAction* menuEntry(app::MainWindow& w, const QString& text) {
  for (QAction* a : w.listMenu()->actions())
    if (a->text() == text) return a;
  return nullptr;
}

}  // namespace qorin::testing
