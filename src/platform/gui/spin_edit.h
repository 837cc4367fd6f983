// SPDX-License-Identifier: GPL-3.0-or-later
// An edit box with up/down arrows. Unlike QSpinBox its text may be empty or
// hold any typed value: the rules read the text, and empty means something.
#pragma once

#include <QLineEdit>

class QToolButton;

namespace qorin::platform {

class SpinEdit : public QLineEdit {
  Q_OBJECT
  Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
  Q_PROPERTY(int maximum READ maximum WRITE setMaximum)

 public:
  explicit SpinEdit(QWidget* parent = nullptr);

  int minimum() const { return min_; }
  int maximum() const { return max_; }
  void setMinimum(int v) { min_ = v; }
  void setMaximum(int v) { max_ = v; }

  // One arrow step: the current number moved by `delta`, kept in the range.
  void stepBy(int delta);

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;

 private:
  QToolButton* up_;
  QToolButton* down_;
  int min_ = 0;
  int max_ = 99;
};

}  // namespace qorin::platform
