// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gui/grow_with_font.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace qorin::platform {

namespace {

// The room a control's caption takes, with what the style draws beside it;
// glyph height, as a CJK face's line height has room above and below them.
QSize captionRoom(const QWidget* w) {
  const int glyphs = QFontInfo(w->font()).pixelSize();
  if (const auto* l = qobject_cast<const QLabel*>(w)) {
    if (!l->pixmap().isNull() || l->text().isEmpty()) return {};
    // A wrapped text grows down: the lines it takes at the control's width.
    if (l->wordWrap())
      return {0, l->fontMetrics()
                     .boundingRect(QRect(0, 0, w->width(), 10000), Qt::TextWordWrap, l->text())
                     .height()};
    return {l->fontMetrics().horizontalAdvance(l->text()), glyphs};
  }
  const auto* b = qobject_cast<const QAbstractButton*>(w);
  if (!b || b->text().isEmpty()) return {};
  QString text = b->text();
  text.remove(QLatin1Char('&'));
  const QStyle* s = w->style();
  int beside = 2 * s->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w) / 3;
  // A check or radio box's caption stands right of its indicator.
  if (qobject_cast<const QCheckBox*>(w))
    beside = s->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
             s->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
  else if (qobject_cast<const QRadioButton*>(w))
    beside = s->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w) +
             s->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, w);
  return {b->fontMetrics().horizontalAdvance(text) + beside, glyphs};
}

// The controls the layout placed, by their names; a control's own parts
// (a spin box's arrows) follow their control.
QList<QWidget*> placed(const QWidget* window) {
  QList<QWidget*> out;
  for (QWidget* w : window->findChildren<QWidget*>())
    if (!w->isWindow() && !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
      out << w;
  return out;
}

}  // namespace

double fontGrowth(const QWidget* window) {
  double growth = 1;
  for (const QWidget* w : placed(window)) {
    const QSize room = captionRoom(w);
    if (room.width() > 0 && w->width() > 0) growth = std::max(growth, double(room.width()) / w->width());
    if (room.height() > 0 && w->height() > 0) growth = std::max(growth, double(room.height()) / w->height());
  }
  return growth;
}

double growWithFont(QWidget* window) {
  const double g = fontGrowth(window);
  if (g <= 1) return 1;
  const auto scaled = [g](int v) { return static_cast<int>(std::ceil(v * g)); };
  for (QWidget* w : placed(window)) {
    const QRect r = w->geometry();
    w->setGeometry(scaled(r.x()), scaled(r.y()), scaled(r.width()), scaled(r.height()));
  }
  window->resize(scaled(window->width()), scaled(window->height()));
  return g;
}

}  // namespace qorin::platform
