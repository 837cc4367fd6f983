// SPDX-License-Identifier: GPL-3.0-or-later
// Paths handed to the program on its command line (a file manager's "Open
// with", the desktop entry's %F, a script) are added as a drop adds them.
// The program takes no options.
#pragma once

#include <QStringList>

namespace qorin::app {

class MainWindow;

// `arguments` without the program's name. Files first in the given order,
// then each folder's files; a relative path is taken from the working
// folder, a file: URL as its local path. Arguments that start with "-" are
// named in one message and otherwise left alone.
void openCommandLine(MainWindow& window, const QStringList& arguments);

}  // namespace qorin::app
