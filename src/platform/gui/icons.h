// SPDX-License-Identifier: GPL-3.0-or-later
// The program's small pictures, drawn in code so they stay crisp and need no
// image files: toolbar and menu icons (16 x 15) and the two status images.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace qorin::icons {

QIcon chooseDirectory();  // toolbar 0
QIcon addFiles();         // toolbar 1
QIcon undo();             // toolbar 3
QIcon preview();          // toolbar 4
QIcon rename();           // toolbar 5
QIcon help();             // toolbar 7
QIcon settings();         // menu 设置(&S)...
QIcon statusSuccess();
QIcon statusFailure();
QIcon application();
// The about window's 124 x 64 banner.
QPixmap banner();

}  // namespace qorin::icons
