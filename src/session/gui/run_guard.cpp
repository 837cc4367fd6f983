// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/gui/run_guard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>

#include "session/session.h"

namespace qorin::session {

RunGuard::RunGuard(QLabel* progress, qint64 pumpMs)
    : progress_(progress),
      stop_(progress ? progress->findChild<QAbstractButton*>(QStringLiteral("停止按钮")) : nullptr),
      pumpMs_(pumpMs) {
  qApp->installEventFilter(this);
  if (stop_) connect(stop_, &QAbstractButton::clicked, this, [this] { requested_ = true; });
  clock_.start();
}

RunGuard::~RunGuard() {
  qApp->removeEventFilter(this);
  if (!shown_) return;
  if (stop_) stop_->hide();
  QApplication::restoreOverrideCursor();
}

rename::ProgressFn RunGuard::progress() {
  return [this](int done, int total) {
    if (progress_) progress_->setText(QString(rename::progressMarks(done, total), QChar(0x25A0)));  // ■
    pump();
  };
}

rename::StopFn RunGuard::stop() {
  return [this] {
    if (clock_.elapsed() >= pumpMs_) pump();
    return requested_;
  };
}

void RunGuard::pump() {
  if (!shown_) {
    // Work long enough to be seen: it says so, and offers its stop.
    shown_ = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (stop_) stop_->show();
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  clock_.restart();
}

bool RunGuard::eventFilter(QObject* watched, QEvent* e) {
  switch (e->type()) {
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) requested_ = true;
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      // A window hands its mouse events on to the widget under the
      // pointer; of those only the 停止 entry takes them.
      return !watched->isWindowType() && watched != stop_;
    case QEvent::Close:
      e->ignore();  // the window stays until the run has ended
      return true;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
      return true;
    default:
      return false;
  }
}

SessionStop::SessionStop(Session& s, RunGuard& guard) : session_(s), before_(s.stop()) {
  s.setStop(guard.stop());
}

SessionStop::~SessionStop() { session_.setStop(std::move(before_)); }

}  // namespace qorin::session
