// SPDX-License-Identifier: GPL-3.0-or-later
// A line on standard error that says what a long run is doing, for a person
// at a terminal: it appears once the run has lasted a second, is written
// over in place, and goes when each phase ends.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace qorin::cli {

class Progress {
 public:
  // `shown`: standard error is a terminal. Texts are in the locale's encoding.
  explicit Progress(bool shown);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // A phase begins (the one before ends); `what` is kept until it ends.
  void begin(std::string what);
  // Files done of all, for a phase that counts.
  void count(int done, int total);
  // The phase ends and its line, if shown, is wiped.
  void end();

 private:
  void run();
  void draw();  // with mutex_ held

  bool shown_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string what_;
  bool active_ = false, drawn_ = false, quit_ = false;
  std::chrono::steady_clock::time_point since_;  // the run's start
  std::atomic<int> done_{0}, total_{0};
  std::thread thread_;
};

}  // namespace qorin::cli
