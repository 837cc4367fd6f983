// SPDX-License-Identifier: GPL-3.0-or-later
// Timing another program as a whole process (POSIX): from the spawn to the
// end of the wait, so its start, its libraries and its exit are counted as
// a user at the shell pays them.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace qorin::bench {

using ProcessClock = std::chrono::steady_clock;

struct Command {
  std::vector<std::string> argv;  // argv[0] is looked up on PATH
  std::string cwd;                // empty: the benchmark's own
  std::vector<std::string> env;   // NAME=value; empty: the benchmark's own
};

struct Ran {
  double seconds = 0;
  double peakMB = 0;      // the child's largest resident size
  double cpuSeconds = 0;  // user and system time of the child and its threads
  int status = -1;        // as waitpid gives it; -1 when it did not start
  bool ok() const { return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

inline double cpuOf(const rusage& use) {
  const auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return sec(use.ru_utime) + sec(use.ru_stime);
}

// Runs `c` with its input from /dev/null and its output thrown away, so a
// chatty program is not slowed by a terminal it would not have in a script.
inline Ran runTimed(const Command& c) {
  std::vector<char*> argv, env;
  for (const std::string& a : c.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : c.env) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (!c.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, c.cwd.c_str());
  Ran r;
  const auto t0 = ProcessClock::now();
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), c.env.empty() ? environ : env.data()) ==
      0) {
    rusage use{};
    while (::wait4(pid, &r.status, 0, &use) < 0 && errno == EINTR) {
    }
    r.peakMB = static_cast<double>(use.ru_maxrss) / 1024.0;
    r.cpuSeconds = cpuOf(use);
  }
  r.seconds = std::chrono::duration<double>(ProcessClock::now() - t0).count();
  posix_spawn_file_actions_destroy(&actions);
  return r;
}

// The benchmark's environment with some variables set anew ("NAME=value").
inline std::vector<std::string> environmentWith(const std::vector<std::string>& changes) {
  std::vector<std::string> out;
  for (char** e = environ; *e; ++e) {
    const std::string kv = *e;
    bool replaced = false;
    for (const std::string& c : changes)
      replaced = replaced || kv.compare(0, c.find('=') + 1, c, 0, c.find('=') + 1) == 0;
    if (!replaced) out.push_back(kv);
  }
  out.insert(out.end(), changes.begin(), changes.end());
  return out;
}

// The program's full path when it is on PATH, else empty.
inline std::string onPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (std::size_t at = 0; at <= dirs.size();) {
    const std::size_t end = std::min(dirs.find(':', at), dirs.size());
    const std::string candidate = dirs.substr(at, end - at) + "/" + name;
    if (end > at && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    at = end + 1;
  }
  return {};
}

}  // namespace qorin::bench
