// SPDX-License-Identifier: GPL-3.0-or-later
// Colours the windows draw beyond the style's own, taken from the palette so
// that they read on a light and a dark one alike.
#pragma once

#include <QColor>
#include <QPalette>
#include <functional>

class QWidget;

namespace qorin::platform {

// WCAG's contrast ratio of two opaque colours, 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);
// `wanted`, made lighter or darker in its own hue until it reads at `ratio`
// on `background` (black or white where no shade of it does).
QColor readableOn(const QColor& wanted, const QColor& background, double ratio = 4.5);

// Text on the palette's window: a warning (a rule that cannot run), the
// progress marks, and a quieter line that still reads (hints under a field).
QColor errorText(const QPalette& p);
QColor accentText(const QPalette& p);
QColor quietText(const QPalette& p);

// `a` moved the fraction `t` of the way to `b`.
QColor mix(const QColor& a, const QColor& b, double t);

// Whether the palette is the light kind the windows were drawn on.
bool isLightPalette(const QPalette& p);

// Runs `paint` now and again whenever `w`'s palette or style changes, so
// colours derived from the palette follow a change of desktop theme.
void followPalette(QWidget* w, std::function<void()> paint);
// `w`'s text in the colour `pick` makes from its palette, kept up.
void setTextColour(QWidget* w, QColor (*pick)(const QPalette&));

}  // namespace qorin::platform
