// SPDX-License-Identifier: GPL-3.0-or-later
// A helper program of ours run as a child process and spoken to in
// messages: a crash or a hang inside a library it uses then costs the child,
// never the program. The child's standard input and output are one socket
// (a message is its length, 4 bytes little-endian, then its bytes). Beside
// it, a page of memory the two share lets the child say which of the items
// it was sent it has taken and when, without a message each: the parent
// looks at it only when a time limit runs out or the child died. Started
// without a shell, with no descriptor of ours but those two, in a process
// group of its own so that the terminal's Ctrl+C reaches only the program.
// On Windows no child is started (start() fails): callers read in-process.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qorin::platform {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `program` (a code-page path, run as it is, no search) with no
  // arguments and this process's environment. False when it could not.
  bool start(std::string_view program);
  bool running() const { return socket_ >= 0; }
  int pid() const { return pid_; }

  // One message to the child; false when it is gone (then it is reaped).
  bool send(std::string_view message);

  enum class Received : unsigned char { Message, TimedOut, Gone };
  // The child's next message, waiting up to `timeoutMs`. Gone: it closed
  // its end or died, and has been reaped.
  Received receive(std::string& message, int timeoutMs);
  // A whole message is already here: receive() will not wait.
  bool hasMessage() const;

  // The child has ended (it is not reaped yet: running() still holds).
  bool exited() const;

  // Kills the child (SIGKILL) and reaps it.
  void kill();

  // What the child said last through ParentLink::took: how many items it
  // has taken since it started, and when it took the last (steady clock).
  // Kept once it is gone, until the next start.
  struct Progress {
    std::uint64_t taken = 0;
    std::chrono::steady_clock::time_point at{};
  };
  Progress progress() const;

 private:
  friend int waitForAny(std::span<ChildProcess*> children, int timeoutMs);
  void reap();
  void unmap();

  int pid_ = -1;
  int socket_ = -1;
  void* shared_ = nullptr;  // the page the child writes its progress in
  std::string in_;          // bytes read, not yet taken as messages
};

// Waits up to `timeoutMs` until one of the running `children` has a message
// or has gone; its index, or -1 when the time ran out first.
int waitForAny(std::span<ChildProcess*> children, int timeoutMs);

// The child's own end: its parent's next message from standard input
// (nothing once the parent closed its end), a message to it, and the
// progress it reads in ChildProcess::progress.
class ParentLink {
 public:
  ParentLink();
  ~ParentLink();
  ParentLink(const ParentLink&) = delete;
  ParentLink& operator=(const ParentLink&) = delete;

  std::optional<std::string> read();
  bool write(std::string_view message);
  // One more item taken, now. A store to memory: cheap enough for each.
  void took();

 private:
  std::string in_;
  void* shared_ = nullptr;
  std::uint64_t taken_ = 0;
};

// Where a helper program named `name` is: beside the running program (a
// build, a portable copy), else in <prefix>/libexec/qorin for an installed
// one in <prefix>/bin. Empty when it is in neither.
std::string helperProgram(std::string_view name);

}  // namespace qorin::platform
