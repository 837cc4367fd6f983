// Small helpers the rule tabs share for reading and greying their controls.
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <string>

#include "app/main_window.h"
#include "text/gui/qtext.h"

namespace qorin::rules {

inline std::string textOf(const app::MainWindow& w, const char* editName) {
  return text::fromQtOrEmpty(w.control<QLineEdit>(editName)->text());
}

inline bool isChecked(const app::MainWindow& w, const char* buttonName) {
  return w.control<QAbstractButton>(buttonName)->isChecked();
}

// Caption colour of a label or group box: black, or the grey of a group that
// does not apply.
inline void setCaptionGrey(QWidget* widget, bool grey) {
  QPalette pal = widget->palette();
  pal.setColor(QPalette::WindowText, grey ? QColor(0x80, 0x80, 0x80) : QColor(Qt::black));
  widget->setPalette(pal);
}

}  // namespace qorin::rules
