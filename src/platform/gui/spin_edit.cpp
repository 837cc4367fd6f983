// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gui/spin_edit.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>

#include "text/gbtext.h"

namespace qorin::platform {

SpinEdit::SpinEdit(QWidget* parent)
    : QLineEdit(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  for (QToolButton* b : {up_, down_}) {
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setCursor(Qt::ArrowCursor);
    // Flat and tight, in the palette's button colours: the arrow is drawn in
    // its button text, so a fixed light face would hide it on a dark palette.
    b->setStyleSheet(
        "QToolButton { border: 1px solid palette(mid); background: palette(button); padding: 0; }"
        "QToolButton:pressed { background: palette(mid); }");
  }
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  connect(up_, &QToolButton::clicked, this, [this] { stepBy(1); });
  connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void SpinEdit::stepBy(int delta) {
  if (!isEnabled() || isReadOnly()) return;
  const long long v = qorin::text::toNumber(text().toStdString());
  const long long next = std::clamp<long long>(v + delta, min_, max_);
  setText(QString::number(next));
}

void SpinEdit::resizeEvent(QResizeEvent* e) {
  QLineEdit::resizeEvent(e);
  const int w = 13, h = height() / 2;
  up_->setGeometry(width() - w, 0, w, h);
  down_->setGeometry(width() - w, h, w, height() - h);
  setTextMargins(0, 0, w, 0);
}

void SpinEdit::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) {
    stepBy(e->key() == Qt::Key_Up ? 1 : -1);
    return;
  }
  QLineEdit::keyPressEvent(e);
}

void SpinEdit::wheelEvent(QWheelEvent* e) {
  if (hasFocus() && e->angleDelta().y() != 0) {
    stepBy(e->angleDelta().y() > 0 ? 1 : -1);
    e->accept();
    return;
  }
  QLineEdit::wheelEvent(e);
}

}  // namespace qorin::platform
