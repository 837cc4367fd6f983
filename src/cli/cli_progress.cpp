// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_progress.h"

#include <cstdio>
#include <system_error>
#include <utility>

namespace qorin::cli {

namespace {

constexpr auto kAfter = std::chrono::seconds(1);
constexpr auto kTick = std::chrono::milliseconds(200);

}  // namespace

Progress::Progress(bool shown) : shown_(shown), since_(std::chrono::steady_clock::now()) {
  if (!shown_) return;
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    shown_ = false;  // no thread, no line: the run itself goes on
  }
}

Progress::~Progress() {
  end();
  if (!thread_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Progress::begin(std::string what) {
  if (!shown_) return;
  const std::lock_guard lock(mutex_);
  what_ = std::move(what);
  done_ = 0;
  total_ = 0;
  active_ = true;
}

void Progress::count(int done, int total) {
  done_.store(done, std::memory_order_relaxed);
  total_.store(total, std::memory_order_relaxed);
}

void Progress::end() {
  if (!shown_) return;
  const std::lock_guard lock(mutex_);
  active_ = false;
  if (drawn_) std::fputs("\r\x1b[K", stderr);
  drawn_ = false;
}

void Progress::run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    // The line is redrawn on a clock, not once per file: a million files
    // would cost a million writes to the terminal.
    wake_.wait_for(lock, kTick, [this] { return quit_; });
    if (!quit_ && active_ && std::chrono::steady_clock::now() - since_ >= kAfter) draw();
  }
}

void Progress::draw() {
  std::string line = "\r" + what_;
  if (const int total = total_.load(std::memory_order_relaxed); total > 0)
    line += " " + std::to_string(done_.load(std::memory_order_relaxed)) + "/" + std::to_string(total);
  line += "\x1b[K";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

}  // namespace qorin::cli
