// SPDX-License-Identifier: GPL-3.0-or-later
// Windows laid out by hand at fixed places, measured for a 9-point face: with
// a larger system font they grow as a whole, so that no text is cut off.
#pragma once

class QWidget;

namespace qorin::platform {

// How much the window's laid-out controls must grow for every caption to
// fit its control: 1 when all fit, as they do at the design's font.
double fontGrowth(const QWidget* window);

// Every child's place and size, and the window's own size, multiplied by
// fontGrowth (nothing moves when that is 1). Returns the factor.
double growWithFont(QWidget* window);

}  // namespace qorin::platform
