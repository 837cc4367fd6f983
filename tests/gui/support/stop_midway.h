// SPDX-License-Identifier: GPL-3.0-or-later
// Stops a pass, an undo or a tag conversion half way, as a user would.
#pragma once

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

namespace qorin::testing {

// Watches the progress part paint; once it shows ten marks or more, posts
// Esc to `target` or a click on it, as a user would.
class StopWhenHalfDone : public QObject {
 public:
  StopWhenHalfDone(QLabel* progress, QWidget* target, bool byEsc)
      : progress_(progress), target_(target), byEsc_(byEsc) {
    progress_->installEventFilter(this);
  }
  bool asked = false;
  bool stopShown = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == progress_ && e->type() == QEvent::Paint && !asked && progress_->text().size() >= 10) {
      asked = true;
      if (const auto* stop = progress_->findChild<QAbstractButton*>(QStringLiteral("停止按钮")))
        stopShown = stop->isVisible();
      if (byEsc_) {
        QCoreApplication::postEvent(target_, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
      } else {
        const QPointF at(3, 3);
        for (const QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
          QCoreApplication::postEvent(
              target_,
              new QMouseEvent(t, at, target_->mapToGlobal(at), Qt::LeftButton,
                              t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
      }
    }
    return false;
  }

 private:
  QLabel* progress_;
  QWidget* target_;
  bool byEsc_;
};

// Presses Esc on `target` as soon as 停止按钮 is offered.
class EscWhenOffered : public QObject {
 public:
  EscWhenOffered(QAbstractButton* stop, QWidget* target) : target_(target) { stop->installEventFilter(this); }
  int pressed = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Show) {
      ++pressed;
      QCoreApplication::postEvent(target_, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    }
    return false;
  }

 private:
  QWidget* target_;
};

}  // namespace qorin::testing
