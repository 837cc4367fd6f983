// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gui/colours.h"

#include <QEvent>
#include <QWidget>
#include <cmath>
#include <utility>

namespace qorin::platform {

namespace {

double luminance(const QColor& c) {
  const auto channel = [](float v) {
    const double s = v;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// Lightness walked one step at a time from `c` toward 0 or 1.
QColor walk(const QColor& c, const QColor& background, double ratio, bool darker) {
  const QColor hsl = c.toHsl();
  for (int l = hsl.lightness(); l >= 0 && l <= 255; l += darker ? -1 : 1) {
    const QColor t = QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), l);
    if (contrastRatio(t, background) >= ratio) return t;
  }
  return QColor();
}

class PaletteFollower : public QObject {
 public:
  PaletteFollower(QWidget* w, std::function<void()> paint) : QObject(w), paint_(std::move(paint)) {
    w->installEventFilter(this);
    paint_();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    const auto t = e->type();
    if (!busy_ && (t == QEvent::PaletteChange || t == QEvent::StyleChange)) {
      busy_ = true;  // the paint itself changes the palette
      paint_();
      busy_ = false;
    }
    return QObject::eventFilter(watched, e);
  }

 private:
  std::function<void()> paint_;
  bool busy_ = false;
};

}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor& wanted, const QColor& background, double ratio) {
  if (contrastRatio(wanted, background) >= ratio) return wanted;
  const bool darker = luminance(background) > 0.18;
  QColor c = walk(wanted, background, ratio, darker);
  if (!c.isValid()) c = walk(wanted, background, ratio, !darker);
  if (c.isValid()) return c;
  return contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background) ? QColor(Qt::black)
                                                                                      : QColor(Qt::white);
}

QColor errorText(const QPalette& p) {
  return readableOn(QColor(0x8B, 0x00, 0x00), p.color(QPalette::Window));
}

QColor accentText(const QPalette& p) {
  return readableOn(p.color(QPalette::Highlight), p.color(QPalette::Window));
}

QColor quietText(const QPalette& p) {
  const QColor text = p.color(QPalette::WindowText), window = p.color(QPalette::Window);
  // As far toward the window as still reads.
  for (double t = 0.45; t > 0; t -= 0.05)
    if (const QColor c = mix(text, window, t); contrastRatio(c, window) >= 4.5) return c;
  return text;
}

QColor mix(const QColor& a, const QColor& b, double t) {
  const auto m = [t](float x, float y) { return static_cast<float>(x + (y - x) * t); };
  return QColor::fromRgbF(m(a.redF(), b.redF()), m(a.greenF(), b.greenF()), m(a.blueF(), b.blueF()));
}

bool isLightPalette(const QPalette& p) { return luminance(p.color(QPalette::Window)) > 0.18; }

void followPalette(QWidget* w, std::function<void()> paint) { new PaletteFollower(w, std::move(paint)); }

void setTextColour(QWidget* w, QColor (*pick)(const QPalette&)) {
  followPalette(w, [w, pick] {
    QPalette p = w->palette();
    const QColor c = pick(p);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
      p.setColor(group, QPalette::WindowText, c);
      p.setColor(group, QPalette::Text, c);
    }
    w->setPalette(p);
  });
}

}  // namespace qorin::platform
