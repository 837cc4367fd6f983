// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/child_process.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/fs.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
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

// The shared page: written by the child alone, `at` before `taken`.
struct SharedProgress {
  std::atomic<std::uint64_t> taken;
  std::atomic<std::int64_t> at;  // steady clock, ns: CLOCK_MONOTONIC, one clock for every process
};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free &&
              std::atomic<std::int64_t>::is_always_lock_free);
[[maybe_unused]] constexpr int kProgressFd = 3;

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

ChildProcess::~ChildProcess() {
  kill();
  unmap();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      socket_(std::exchange(other.socket_, -1)),
      shared_(std::exchange(other.shared_, nullptr)),
      in_(std::move(other.in_)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    kill();
    unmap();
    pid_ = std::exchange(other.pid_, -1);
    socket_ = std::exchange(other.socket_, -1);
    shared_ = std::exchange(other.shared_, nullptr);
    in_ = std::move(other.in_);
  }
  return *this;
}

bool ChildProcess::hasMessage() const { return wholeMessage(in_).has_value(); }

ChildProcess::Progress ChildProcess::progress() const {
  if (!shared_) return {};
  const auto& p = *static_cast<const SharedProgress*>(shared_);
  Progress out;
  out.taken = p.taken.load(std::memory_order_acquire);
  out.at =
      std::chrono::steady_clock::time_point(std::chrono::nanoseconds(p.at.load(std::memory_order_acquire)));
  return out;
}

#ifdef _WIN32

bool ChildProcess::start(std::string_view) { return false; }
bool ChildProcess::send(std::string_view) { return false; }
ChildProcess::Received ChildProcess::receive(std::string&, int) { return Received::Gone; }
void ChildProcess::kill() {}
bool ChildProcess::exited() const { return false; }
void ChildProcess::reap() {}
void ChildProcess::unmap() {}
int waitForAny(std::span<ChildProcess*>, int) { return -1; }
ParentLink::ParentLink() = default;
ParentLink::~ParentLink() = default;
std::optional<std::string> ParentLink::read() { return std::nullopt; }
bool ParentLink::write(std::string_view) { return false; }
void ParentLink::took() {}
std::string helperProgram(std::string_view) { return {}; }

#else

void ChildProcess::unmap() {
  if (shared_) ::munmap(shared_, sizeof(SharedProgress));
  shared_ = nullptr;
}

bool ChildProcess::start(std::string_view program) {
  kill();
  unmap();
  auto path = nativePath(program);
  if (!path) return false;
  // The progress page: without one no child is started, as its files'
  // time limits could not be told apart.
  int page = ::memfd_create("qorin-progress", MFD_CLOEXEC);
  if (page < 0) return false;
  if (page <= kProgressFd) {  // above the child's number, so that the dup2 there is never a no-op
    const int above = ::fcntl(page, F_DUPFD_CLOEXEC, kProgressFd + 1);
    ::close(page);
    if (above < 0) return false;
    page = above;
  }
  void* shared = ::ftruncate(page, sizeof(SharedProgress)) == 0
                     ? ::mmap(nullptr, sizeof(SharedProgress), PROT_READ | PROT_WRITE, MAP_SHARED, page, 0)
                     : MAP_FAILED;
  int ends[2];
  if (shared == MAP_FAILED || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    if (shared != MAP_FAILED) ::munmap(shared, sizeof(SharedProgress));
    ::close(page);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  // The child's end becomes its input and output (dup2 drops close-on-exec
  // there); every other descriptor of ours stays behind.
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, page, kProgressFd);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&actions, kProgressFd + 1);
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
  ::close(page);
  if (error != 0) {
    ::close(ends[0]);
    ::munmap(shared, sizeof(SharedProgress));
    return false;
  }
  pid_ = pid;
  socket_ = ends[0];
  shared_ = shared;
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

ParentLink::ParentLink() {
  void* p = ::mmap(nullptr, sizeof(SharedProgress), PROT_READ | PROT_WRITE, MAP_SHARED, kProgressFd, 0);
  shared_ = p == MAP_FAILED ? nullptr : p;
  if (shared_) ::close(kProgressFd);  // the mapping stays
}

ParentLink::~ParentLink() {
  if (shared_) ::munmap(shared_, sizeof(SharedProgress));
}

void ParentLink::took() {
  if (!shared_) return;
  auto& p = *static_cast<SharedProgress*>(shared_);
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  p.at.store(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count(), std::memory_order_release);
  p.taken.store(++taken_, std::memory_order_release);
}

std::optional<std::string> ParentLink::read() {
  for (;;) {
    if (const auto n = wholeMessage(in_)) return takeMessage(in_, *n);
    char buf[65536];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    in_.append(buf, static_cast<std::size_t>(n));
  }
}

bool ParentLink::write(std::string_view message) {
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
