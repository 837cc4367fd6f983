// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/child_process.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/fs.h"

#ifndef _WIN32
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

extern char** environ;
#endif

namespace qorin::platform {

namespace {

constexpr std::size_t kHeader = 4;

[[maybe_unused]] std::string framed(std::string_view message) {
  std::string out(kHeader, '\0');
  const auto n = static_cast<std::uint32_t>(message.size());
  for (std::size_t i = 0; i < kHeader; ++i) out[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
  out += message;
  return out;
}

// The length of the message at the start of `in` once it is there whole.
std::optional<std::size_t> wholeMessage(const std::string& in) {
  if (in.size() < kHeader) return std::nullopt;
  std::uint32_t n = 0;
  for (std::size_t i = 0; i < kHeader; ++i)
    n |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[i])) << (8 * i);
  if (in.size() < kHeader + n) return std::nullopt;
  return n;
}

[[maybe_unused]] std::string takeMessage(std::string& in, std::size_t n) {
  std::string message = in.substr(kHeader, n);
  in.erase(0, kHeader + n);
  return message;
}

}  // namespace

ChildProcess::~ChildProcess() { kill(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      socket_(std::exchange(other.socket_, -1)),
      in_(std::move(other.in_)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    kill();
    pid_ = std::exchange(other.pid_, -1);
    socket_ = std::exchange(other.socket_, -1);
    in_ = std::move(other.in_);
  }
  return *this;
}

bool ChildProcess::hasMessage() const { return wholeMessage(in_).has_value(); }

#ifdef _WIN32

bool ChildProcess::start(std::string_view) { return false; }
bool ChildProcess::send(std::string_view) { return false; }
ChildProcess::Received ChildProcess::receive(std::string&, int) { return Received::Gone; }
void ChildProcess::kill() {}
bool ChildProcess::exited() const { return false; }
void ChildProcess::reap() {}
int waitForAny(std::span<ChildProcess*>, int) { return -1; }
std::optional<std::string> readParentMessage() { return std::nullopt; }
bool writeParentMessage(std::string_view) { return false; }
std::string helperProgram(std::string_view) { return {}; }

#else

bool ChildProcess::start(std::string_view program) {
  kill();
  auto path = nativePath(program);
  if (!path) return false;
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  // The child's end becomes its input and output (dup2 drops close-on-exec
  // there); every other descriptor of ours stays behind.
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  char* argv[] = {path->data(), nullptr};
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, path->c_str(), &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(ends[1]);
  if (error != 0) {
    ::close(ends[0]);
    return false;
  }
  pid_ = pid;
  socket_ = ends[0];
  in_.clear();
  return true;
}

void ChildProcess::reap() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  if (pid_ > 0) {
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  in_.clear();
}

void ChildProcess::kill() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
  reap();
}

bool ChildProcess::exited() const {
  if (pid_ <= 0) return false;
  siginfo_t info{};
  // WNOWAIT: looked at, left to reap().
  return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid_;
}

bool ChildProcess::send(std::string_view message) {
  if (socket_ < 0) return false;
  const std::string bytes = framed(message);
  for (std::size_t done = 0; done < bytes.size();) {
    // MSG_NOSIGNAL: a child gone is an answer here, not a SIGPIPE for the program.
    const ssize_t n = ::send(socket_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      kill();
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

ChildProcess::Received ChildProcess::receive(std::string& message, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (const auto n = wholeMessage(in_)) {
      message = takeMessage(in_, *n);
      return Received::Message;
    }
    if (socket_ < 0) return Received::Gone;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    pollfd p{socket_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::max<decltype(left)>(left, 0)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) return Received::TimedOut;
    char buf[65536];
    const ssize_t n = ::recv(socket_, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      kill();  // its end closed: dead, or about to be
      return Received::Gone;
    }
    in_.append(buf, static_cast<std::size_t>(n));
  }
}

int waitForAny(std::span<ChildProcess*> children, int timeoutMs) {
  std::vector<pollfd> fds;
  std::vector<int> which;
  for (std::size_t i = 0; i < children.size(); ++i) {
    if (children[i]->hasMessage()) return static_cast<int>(i);
    if (children[i]->running()) {
      fds.push_back({children[i]->socket_, POLLIN, 0});
      which.push_back(static_cast<int>(i));
    }
  }
  if (fds.empty()) return -1;
  int ready;
  while ((ready = ::poll(fds.data(), fds.size(), timeoutMs)) < 0 && errno == EINTR) {
  }
  if (ready <= 0) return -1;
  for (std::size_t k = 0; k < fds.size(); ++k)
    if (fds[k].revents != 0) return which[k];
  return -1;
}

std::optional<std::string> readParentMessage() {
  static std::string in;
  for (;;) {
    if (const auto n = wholeMessage(in)) return takeMessage(in, *n);
    char buf[65536];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    in.append(buf, static_cast<std::size_t>(n));
  }
}

bool writeParentMessage(std::string_view message) {
  const std::string bytes = framed(message);
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string helperProgram(std::string_view name) {
  const std::string dir = programDirectory();
  for (const std::string& candidate :
       {dir + std::string(name), dir + "../libexec/qorin/" + std::string(name)}) {
    const auto p = nativePath(candidate);
    if (p && ::access(p->c_str(), X_OK) == 0 && !isDirectory(candidate)) return candidate;
  }
  return {};
}

#endif

}  // namespace qorin::platform
