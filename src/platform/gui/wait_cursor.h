// SPDX-License-Identifier: GPL-3.0-or-later
// The wait cursor for the length of a long operation.
#pragma once

#include <QApplication>

namespace qorin::platform {

class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace qorin::platform
