// SPDX-License-Identifier: GPL-3.0-or-later
// Long work on the window's thread (a pass, an undo, an add, a preview, a
// sort): the window keeps painting, Esc or the 停止 entry in the status bar
// asks the work to stop, and every other input is kept out until it ends.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include "rename/rename_pass.h"

class QAbstractButton;
class QLabel;

namespace qorin::session {

class Session;

class RunGuard : public QObject {
 public:
  // `progress`: the status bar's 进度 part, holding 停止按钮 (may be null).
  // `pumpMs`: how long the work may go before the window is painted and
  // asked for a stop; 停止 and the wait cursor appear then, so work that
  // ends sooner shows nothing.
  explicit RunGuard(QLabel* progress, qint64 pumpMs = kPumpMs);
  ~RunGuard() override;
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

  rename::ProgressFn progress();
  rename::StopFn stop();

  // Often enough for a stop to answer at once, seldom enough to cost nothing.
  static constexpr qint64 kPumpMs = 40;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void pump();

  QPointer<QLabel> progress_;
  QPointer<QAbstractButton> stop_;
  QElapsedTimer clock_;
  qint64 pumpMs_;
  bool shown_ = false;
  bool requested_ = false;
};

// For as long as it lives, the session's listing, reading and planning ask
// `guard` whether to stop; the stop before it comes back after.
class SessionStop {
 public:
  SessionStop(Session& s, RunGuard& guard);
  ~SessionStop();
  SessionStop(const SessionStop&) = delete;
  SessionStop& operator=(const SessionStop&) = delete;

 private:
  Session& session_;
  rename::StopFn before_;
};

}  // namespace qorin::session
