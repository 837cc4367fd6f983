// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/media_workers.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <system_error>
#include <thread>

#include "tags/formats.h"
#include "tags/media_protocol.h"

namespace qorin::tags {

using Clock = std::chrono::steady_clock;

namespace {

// A worker starting (exec, the libraries loaded) has this long beside its
// first file's own limit.
constexpr std::chrono::milliseconds kStartAllowance{5000};

std::string diskPath(const MediaFile& f) { return f.dir + f.name; }

// Each worker holds the file it reads and a few more, so that it never
// waits for us between them (we are woken once for several answers).
constexpr std::size_t kDepth = 8;
struct Held {
  std::size_t file;
};
// The front file is the one being read: its time runs from when the
// worker had it, the write when it was idle or the answer before it.
struct WorkerSlot {
  platform::ChildProcess* worker;
  std::deque<Held> held;
  bool ready = true;  // a worker started says when it is set up, before its first answer
  Clock::time_point deadline{};
};

}  // namespace

// What one read of a list asks of each file: its request, what to do with
// an answer, a failure, or the reading in the program.
struct MediaWorkers::Job {
  std::function<std::string(std::size_t)> request;
  std::function<bool(std::size_t, std::string_view)> answer;  // false: not an answer
  std::function<void(std::size_t, MediaFailure)> fail;
  std::function<void(std::size_t)> inProcess;
  const StopFn& stop;
};

MediaWorkers::MediaWorkers(std::string program, int workers, std::chrono::milliseconds limit)
    : program_(std::move(program)), limit_(limit), workers_(static_cast<std::size_t>(std::max(1, workers))) {}

MediaWorkers& MediaWorkers::shared() {
  static MediaWorkers workers(platform::helperProgram("qorin-media"),
                              static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)),
                              std::chrono::milliseconds(2000));
  return workers;
}

void MediaWorkers::setProgram(std::string program) {
  const std::lock_guard lock(mutex_);
  for (platform::ChildProcess& w : workers_) w.kill();
  program_ = std::move(program);
}

std::vector<int> MediaWorkers::pids() const {
  const std::lock_guard lock(mutex_);
  std::vector<int> out;
  for (const platform::ChildProcess& w : workers_)
    if (w.running()) out.push_back(w.pid());
  return out;
}

void MediaWorkers::readDates(std::span<const MediaFile> files, std::span<DateAnswer> out,
                             const StopFn& stop) {
  Job job{[&](std::size_t i) {
            return media::encode(media::Request{media::Ask::Date, {}, files[i]});
          },
          [&](std::size_t i, std::string_view bytes) { return media::decode(bytes, out[i]); },
          [&](std::size_t i, MediaFailure f) {
            out[i] = {PhotoDateRead::Unreadable, {}, f};
          },
          [&](std::size_t i) { out[i].read = readPhotoDate(diskPath(files[i]), out[i].taken); }, stop};
  run(job, files.size());
}

void MediaWorkers::readTags(std::span<const MediaFile> files, TagPriority priority, std::span<TagAnswer> out,
                            const StopFn& stop) {
  Job job{[&](std::size_t i) {
            return media::encode(media::Request{media::Ask::Tags, priority, files[i]});
          },
          [&](std::size_t i, std::string_view bytes) { return media::decode(bytes, out[i]); },
          [&](std::size_t i, MediaFailure f) {
            out[i] = {NamingRead::Unreadable, {}, f};
          },
          [&](std::size_t i) {
            const TagReader* reader = tagReaderFor(platform::nameText(files[i].name));
            out[i].read = reader ? reader->readForNaming(diskPath(files[i]), priority, out[i].fields)
                                 : NamingRead::Unreadable;
          },
          stop};
  run(job, files.size());
}

void MediaWorkers::setStop(StopFn stop) {
  const std::lock_guard lock(mutex_);
  stop_ = std::move(stop);
}

void MediaWorkers::run(Job& job, std::size_t count) {
  const std::lock_guard lock(mutex_);
  const StopFn& stop = job.stop ? job.stop : stop_;
  if (program_.empty()) return runInProcess(job, count, stop);
  std::vector<WorkerSlot> slots;
  for (std::size_t w = 0; w < std::min(workers_.size(), count); ++w)
    slots.push_back(WorkerSlot{&workers_[w], {}});
  std::size_t next = 0;
  std::deque<Held> again;  // held by a worker that went before it took them
  bool stopped = false, unusable = false;
  const auto restart = [&](WorkerSlot& s) {
    s.worker->kill();
    for (const Held& h : s.held) again.push_back(h);
    s.held.clear();
  };
  // Hands a file to the slot's worker, starting one where none runs; false
  // when no worker can be had.
  // A worker found gone as it is written to (killed while it waited for the
  // next list) is started again once.
  const auto hand = [&](WorkerSlot& s, Held h) {
    if (unusable) return false;
    const std::string request = job.request(h.file);
    for (int attempt = 0; attempt < 2; ++attempt) {
      bool started = false;
      if (s.held.empty() && s.worker->exited()) restart(s);
      if (!s.worker->running()) {
        restart(s);
        if (!s.worker->start(program_)) return false;
        started = true;
        s.ready = false;
      }
      if (!s.worker->send(request)) continue;
      if (s.held.empty())
        s.deadline = Clock::now() + (started ? kStartAllowance : Clock::duration{}) + limit_;
      s.held.push_back(h);
      return true;
    }
    return false;
  };
  const auto failFront = [&](WorkerSlot& s, MediaFailure f) {
    job.fail(s.held.front().file, f);
    s.held.pop_front();
    restart(s);
  };
  for (;;) {
    // One file a worker in turn, so that a short list is shared too.
    for (bool handed = true; handed && !stopped;) {
      handed = false;
      for (WorkerSlot& s : slots) {
        if (s.held.size() >= kDepth || stopped) continue;
        Held h{};
        if (!again.empty()) {
          // Behind a file that killed its worker: not its cause.
          h = again.front();
          again.pop_front();
        } else if (next < count) {
          if (stop && stop()) {
            stopped = true;
            break;
          }
          h = {next++};
        } else {
          break;
        }
        handed = true;
        if (!hand(s, h)) {
          // No worker to be had: read here, as without one.
          restart(s);
          for (const Held& left : again) job.inProcess(left.file);
          again.clear();
          job.inProcess(h.file);
        }
      }
    }
    std::vector<platform::ChildProcess*> busy;
    std::vector<WorkerSlot*> busyWorkers;
    Clock::time_point soonest = Clock::time_point::max();
    for (WorkerSlot& s : slots)
      if (!s.held.empty()) {
        busy.push_back(s.worker);
        busyWorkers.push_back(&s);
        soonest = std::min(soonest, s.deadline);
      }
    if (busy.empty()) break;  // unless stopped, nothing is left in `again` here
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(soonest - Clock::now()).count() + 1;
    const int ready = platform::waitForAny(busy, static_cast<int>(std::max<decltype(wait)>(wait, 0)));
    if (ready >= 0) {
      WorkerSlot& s = *busyWorkers[static_cast<std::size_t>(ready)];
      std::string message;
      while (!s.held.empty()) {
        const auto got = s.worker->receive(message, 0);
        if (got == platform::ChildProcess::Received::TimedOut) break;
        if (got == platform::ChildProcess::Received::Gone) {
          // Gone before it was set up: a worker that cannot run here
          // (its libraries missing), so the files are read here.
          if (!s.ready) {
            unusable = true;
            restart(s);
          } else {
            failFront(s, MediaFailure::Crashed);
          }
          break;
        }
        if (!s.ready && message.empty()) {
          s.ready = true;
          s.deadline = Clock::now() + limit_;
        } else if (!s.ready || !job.answer(s.held.front().file, message)) {
          failFront(s, MediaFailure::Crashed);  // not our worker's speech
          break;
        } else {
          s.held.pop_front();
          s.deadline = Clock::now() + limit_;  // it went on to the next one at once
        }
        if (!s.worker->hasMessage()) break;
      }
    }
    const auto now = Clock::now();
    for (WorkerSlot& s : slots)
      if (!s.held.empty() && now >= s.deadline) failFront(s, MediaFailure::TimedOut);
  }
  for (const Held& h : again) job.fail(h.file, MediaFailure::Stopped);
  for (; next < count; ++next) job.fail(next, MediaFailure::Stopped);
}

void MediaWorkers::runInProcess(Job& job, std::size_t count, const StopFn& stop) {
  constexpr std::size_t kChunk = 8;
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stopped{false};
  const auto work = [&] {
    for (std::size_t k; !stopped && (k = next.fetch_add(kChunk)) < count;)
      for (std::size_t i = k; i < std::min(k + kChunk, count); ++i) job.inProcess(i);
  };
  const std::size_t threads = std::min<std::size_t>(workers_.size(), (count + kChunk - 1) / kChunk);
  std::vector<std::jthread> helpers;
  try {
    for (std::size_t h = 1; h < threads; ++h) helpers.emplace_back(work);
  } catch (const std::system_error&) {  // no thread to be had: fewer hands, same work
  }
  // The stop is asked here only, on the caller's thread, between chunks.
  for (std::size_t k; !stopped && (k = next.fetch_add(kChunk)) < count;) {
    if (stop && stop()) {
      stopped = true;
      job.fail(k, MediaFailure::Stopped);  // taken from the count, and not read
      for (std::size_t i = k + 1; i < std::min(k + kChunk, count); ++i) job.fail(i, MediaFailure::Stopped);
      break;
    }
    for (std::size_t i = k; i < std::min(k + kChunk, count); ++i) job.inProcess(i);
  }
  helpers.clear();  // joins
  if (stopped)
    for (std::size_t i = std::min(next.load(), count); i < count; ++i) job.fail(i, MediaFailure::Stopped);
}

std::string WorkerState::answer(std::string_view bytes,
                                const std::function<void(std::string_view)>& beforeReading) {
  const auto request = media::decodeRequest(bytes);
  if (!request) return {};
  const MediaFile& f = request->file;
  // Files of one folder come one after another: the folder is opened once.
  if (!entered_ || dir_ != f.dir || folder_.identity().inode != f.folder.inode ||
      folder_.identity().device != f.folder.device) {
    folder_ = f.folderKnown ? platform::Folder(f.dir, f.folder) : platform::Folder(f.dir);
    dir_ = f.dir;
    entered_ = folder_.isOpen() && folder_.enter();
    if (!f.folderKnown) folder_ = {};  // its identity would not match the next request's
  }
  const MediaFailure failure = folder_.changed() ? MediaFailure::FolderChanged : MediaFailure::None;
  if (beforeReading) beforeReading(platform::nameText(f.name));
  // The name alone: it is looked up in the folder entered, not by its path.
  const bool readable = entered_ && failure == MediaFailure::None;
  if (request->ask == media::Ask::Date) {
    DateAnswer a;
    a.failure = failure;
    if (readable) a.read = readPhotoDate(f.name, a.taken);
    return media::encode(a);
  }
  TagAnswer a;
  a.failure = failure;
  const TagReader* reader = tagReaderFor(platform::nameText(f.name));
  if (readable && reader) a.read = reader->readForNaming(f.name, request->priority, a.fields);
  return media::encode(a);
}

}  // namespace qorin::tags
