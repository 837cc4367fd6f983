// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/colour_picker.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "platform/gui/dialogs.h"

namespace qorin::app {

QColor fromColourRef(std::int32_t ref) {
  const auto u = static_cast<std::uint32_t>(ref);
  return QColor(static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF),
                static_cast<int>((u >> 16) & 0xFF));
}

std::int32_t toColourRef(const QColor& c) {
  const QColor rgb = c.toRgb();
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(rgb.red()) |
                                   (static_cast<std::uint32_t>(rgb.green()) << 8) |
                                   (static_cast<std::uint32_t>(rgb.blue()) << 16));
}

ColourPicker::ColourPicker(QWidget* parent) : QPushButton(parent) {
  connect(this, &QPushButton::clicked, this, &ColourPicker::choose);
}

void ColourPicker::setColour(const QColor& c) {
  colour_ = c;
  setToolTip(QStringLiteral("RGB(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue()));
  update();
}

void ColourPicker::choose() {
  if (!dialogs_) return;
  const std::optional<QColor> chosen = dialogs_->chooseColour(this, colour_);
  if (!chosen || !chosen->isValid()) return;
  setColour(*chosen);
  emit colourChosen();
}

void ColourPicker::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  QStyleOptionButton opt;
  initStyleOption(&opt);
  opt.text.clear();
  p.drawControl(QStyle::CE_PushButton, opt);
  // The swatch fills the face, with a thin dark frame so light colours show.
  const QRect swatch = rect().adjusted(4, 4, -5, -5);
  p.fillRect(swatch, isEnabled() ? colour_ : colour_.lighter(140));
  p.setPen(palette().color(QPalette::Dark));
  p.drawRect(swatch);
}

}  // namespace qorin::app
