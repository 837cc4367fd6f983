// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about_window.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include "platform/gui/grow_with_font.h"
#include "platform/gui/icons.h"
#include "ui_about_window.h"

namespace qorin::app {

namespace {

const QString kProgramName = QStringLiteral("Qorin批量更名器");
const QString kVersion = QStringLiteral("1.0.0测试版");

// The banner on the left of a band in its own colours, so the picture box
// looks like one piece across the window's width.
QPixmap bannerBand(const QSize& size) {
  QPixmap band(size);
  QPainter p(&band);
  QLinearGradient g(0, 0, size.width(), 0);
  g.setColorAt(0, QColor(0x2E, 0x5E, 0x3E));
  g.setColorAt(1, QColor(0x80, 0xA0, 0x80));
  p.fillRect(band.rect(), g);
  const QPixmap banner = icons::banner();
  p.drawPixmap(3, (size.height() - banner.height()) / 2, banner);
  return band;
}

}  // namespace

void showAboutWindow(QWidget* parent) {
  AboutWindow w(parent);
  w.exec();
}

QFont aboutTitleFont() {
  QFont f;
  f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                 QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC"),
                 QStringLiteral("Source Han Serif SC"), QStringLiteral("WenQuanYi Micro Hei"),
                 QStringLiteral("Droid Sans Fallback")});
  f.setPixelSize(20);
  f.setBold(true);
  return f;
}

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::AboutWindow>()) {
  ui_->setupUi(this);
  // Set on every creation, not kept in the layout; before the growth is
  // measured, which goes by the captions shown.
  ui_->软件名标签->setText(kProgramName);
  ui_->版本标签->setText(kVersion);
  platform::growWithFont(this);
  setFixedSize(size());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  ui_->图片框1->setPixmap(bannerBand(ui_->图片框1->size()));
  QLabel* title = ui_->透明标签1;
  title->setAttribute(Qt::WA_TranslucentBackground);
  title->setAutoFillBackground(false);
  title->setFont(aboutTitleFont());
  QPalette pal = title->palette();
  pal.setColor(QPalette::WindowText, Qt::white);
  title->setPalette(pal);
  title->setText(kProgramName);
}

AboutWindow::~AboutWindow() = default;

void AboutWindow::mousePressEvent(QMouseEvent* e) {
  // Labels pass their clicks on to the window; only the window's own area closes it.
  if (e->button() == Qt::LeftButton && !childAt(e->position().toPoint())) {
    close();
    return;
  }
  QDialog::mousePressEvent(e);
}

}  // namespace qorin::app
