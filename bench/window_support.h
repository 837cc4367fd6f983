// SPDX-License-Identifier: GPL-3.0-or-later
// What the window benchmarks share: a clock, silent dialogs and a scratch
// folder for the program's own files.
#pragma once

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <optional>

#include "platform/gui/dialogs.h"
#include "session/places.h"

namespace qorin::bench {

using Clock = std::chrono::steady_clock;

inline double secondsOf(const std::function<void()>& f) {
  const auto t0 = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Silent dialogs: the summaries would block otherwise.
struct Quiet : platform::Dialogs {
  QStringList openFiles(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString chooseFolder(QWidget*, const QString&) override { return {}; }
  void message(QWidget*, const QString&, const QString&, Icon) override {}
  bool askYesNo(QWidget*, const QString&, const QString&, Icon) override { return false; }
  std::optional<QFont> chooseFont(QWidget*, const QFont&) override { return std::nullopt; }
  std::optional<QColor> chooseColour(QWidget*, const QColor&) override { return std::nullopt; }
  std::optional<QString> askText(QWidget*, const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  std::optional<int> chooseItem(QWidget*, const QString&, const QString&, const QStringList&) override {
    return std::nullopt;
  }
  // No other program holds a bench's folders: a wait would be a fault.
  bool waitUntil(QWidget*, const QString&, const QString&, const std::function<bool()>&) override {
    return false;
  }
};
inline Quiet& quiet() {
  static Quiet q;
  return q;
}

// Silent, and Yes to every question (the undo asks first).
struct Agreeing : Quiet {
  bool askYesNo(QWidget*, const QString&, const QString&, Icon) override { return true; }
};
inline Agreeing& agreeing() {
  static Agreeing a;
  return a;
}

// Every window of a run keeps its files in one scratch folder.
inline session::Places scratchPlaces() {
  static QTemporaryDir home;
  return session::Places::in(home.path().toStdString());
}

// The body of a window benchmark's main(): offscreen, one application for
// every run.
inline int runWindowBenchmarks(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace qorin::bench
