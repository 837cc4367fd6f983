// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gui/icons.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace qorin::icons {

namespace {

QIcon draw(const std::function<void(QPainter&)>& paint, int w = 16, int h = 15) {
  QIcon icon;
  for (int scale : {1, 2}) {
    QPixmap pm(w * scale, h * scale);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    paint(p);
    p.end();
    pm.setDevicePixelRatio(scale);
    icon.addPixmap(pm);
  }
  return icon;
}

const QColor kFolder(0xE8, 0xB8, 0x3A);
const QColor kFolderEdge(0x9A, 0x6E, 0x10);
const QColor kPaper(0xFF, 0xFF, 0xFF);
const QColor kInk(0x30, 0x40, 0x60);
const QColor kGreen(0x2E, 0x9E, 0x44);
const QColor kRed(0xD0, 0x32, 0x2C);
const QColor kBlue(0x2A, 0x6C, 0xC8);

void folder(QPainter& p) {
  p.setPen(QPen(kFolderEdge, 1));
  p.setBrush(kFolder);
  QPainterPath path;
  path.moveTo(1.5, 3.5);
  path.lineTo(6, 3.5);
  path.lineTo(7.5, 5);
  path.lineTo(14.5, 5);
  path.lineTo(14.5, 13.5);
  path.lineTo(1.5, 13.5);
  path.closeSubpath();
  p.drawPath(path);
  p.setBrush(kFolder.lighter(115));
  p.drawRect(QRectF(1.5, 7, 13, 6.5));
}

void page(QPainter& p, QRectF r) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(kPaper);
  p.drawRect(r);
  p.setPen(QPen(kInk.lighter(180), 1));
  for (qreal y = r.top() + 3; y < r.bottom() - 1; y += 2.5)
    p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

}  // namespace

QIcon chooseDirectory() { return draw(folder); }

QIcon addFiles() {
  return draw([](QPainter& p) {
    page(p, QRectF(4.5, 0.5, 9, 11));
    page(p, QRectF(1.5, 3.5, 9, 11));
    p.setPen(QPen(kGreen, 2));
    p.drawLine(QPointF(12, 9), QPointF(12, 15));
    p.drawLine(QPointF(9, 12), QPointF(15, 12));
  });
}

QIcon undo() {
  return draw([](QPainter& p) {
    p.setPen(QPen(kBlue, 2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath arc;
    arc.moveTo(4, 6);
    arc.cubicTo(8, 2, 15, 4, 13, 10);
    arc.cubicTo(12, 13, 9, 13.5, 7, 13);
    p.drawPath(arc);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawPolygon(QPolygonF({QPointF(1, 7.5), QPointF(6.5, 2.5), QPointF(7, 9)}));
  });
}

QIcon preview() {
  return draw([](QPainter& p) {
    page(p, QRectF(1.5, 0.5, 9, 12));
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(0xCC, 0xE4, 0xFF));
    p.drawEllipse(QPointF(9.5, 8.5), 3.5, 3.5);
    p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12, 11), QPointF(14.5, 13.5));
  });
}

QIcon rename() {
  return draw([](QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(0.5, 4.5, 15, 7));
    p.setPen(QPen(kInk, 1));
    p.drawLine(QPointF(3, 6.5), QPointF(3, 9.5));
    p.setPen(QPen(kGreen, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 8), QPointF(12, 8));
    p.drawLine(QPointF(9.5, 5.8), QPointF(12, 8));
    p.drawLine(QPointF(9.5, 10.2), QPointF(12, 8));
  });
}

QIcon help() {
  return draw([](QPainter& p) {
    p.setPen(QPen(kBlue.darker(130), 1));
    p.setBrush(kBlue);
    p.drawEllipse(QRectF(0.5, 0, 14.5, 14.5));
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(12);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0.5, 0, 14.5, 14.5), Qt::AlignCenter, QStringLiteral("?"));
  });
}

QIcon settings() {
  return draw([](QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(0xB0, 0xB8, 0xC4));
    QPainterPath gear;
    for (int i = 0; i < 8; ++i) {
      QTransform t;
      t.translate(8, 7.5);
      t.rotate(45.0 * i);
      gear.addPolygon(t.map(QPolygonF(QRectF(-1.5, -7, 3, 3))));
    }
    gear.addEllipse(QPointF(8, 7.5), 5, 5);
    p.drawPath(gear.simplified());
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(8, 7.5), 2, 2);
  });
}

QIcon statusSuccess() {
  return draw([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QRectF(1, 0.5, 14, 14));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(4.5, 7.5), QPointF(7, 10), QPointF(11.5, 4.5)}));
  });
}

QIcon statusFailure() {
  return draw([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawEllipse(QRectF(1, 0.5, 14, 14));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 4.5), QPointF(11, 10.5));
    p.drawLine(QPointF(11, 4.5), QPointF(5, 10.5));
  });
}

QIcon application() {
  return draw(
      [](QPainter& p) {
        p.scale(2, 2);
        folder(p);
        p.setPen(QPen(kGreen, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5, 10), QPointF(11, 10));
        p.drawLine(QPointF(9, 8), QPointF(11, 10));
        p.drawLine(QPointF(9, 12), QPointF(11, 10));
      },
      32, 30);
}

QPixmap banner() {
  QPixmap pm(124, 64);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 124, 64);
  g.setColorAt(0, QColor(0x80, 0xA0, 0x80));
  g.setColorAt(1, QColor(0x2E, 0x5E, 0x3E));
  p.fillRect(pm.rect(), g);
  p.save();
  p.translate(8, 14);
  p.scale(2.2, 2.2);
  folder(p);
  p.restore();
  p.setPen(Qt::white);
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(20);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(48, 8, 72, 28), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Qorin"));
  f.setPixelSize(10);
  f.setBold(false);
  p.setFont(f);
  p.drawText(QRect(48, 36, 74, 18), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("a → 01"));
  return pm;
}

}  // namespace qorin::icons
