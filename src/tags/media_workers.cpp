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

// The most files in one batch, and the batches a worker holds at once: the
// next is there when it ends one, and we are woken once a batch.
constexpr std::size_t kBatch = 32;
constexpr std::size_t kBatchesHeld = 2;

}  // namespace

// What one read of a list asks of each file: its request, what to do with
// an answer, a failure, or the reading in the program.
struct MediaWorkers::Job {
  std::function<std::string(std::size_t)> request;
  std::function<bool(std::size_t, std::string_view)> answer;  // false: not an answer
  std::function<void(std::size_t, MediaFailure)> fail;
  std::function<void(std::size_t)> inProcess;
  const platform::StopFn& stop;
};

MediaWorkers::MediaWorkers(std::string program, int workers, std::chrono::milliseconds limit)
    : program_(std::move(program)), limit_(limit), workers_(static_cast<std::size_t>(std::max(1, workers))) {}

namespace {

int cores() { return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)); }

constexpr std::chrono::milliseconds kLimit{2000};

}  // namespace

std::unique_ptr<MediaWorkers> MediaWorkers::ours() {
  return std::make_unique<MediaWorkers>(platform::helperProgram("qorin-media"), cores(), kLimit);
}

std::unique_ptr<MediaWorkers> MediaWorkers::inProgram() {
  return std::make_unique<MediaWorkers>(std::string(), cores(), kLimit);
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
                             const platform::StopFn& stop) {
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
                            const platform::StopFn& stop) {
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

// One read of a list over the workers: which files each holds, in the order
// it takes them, and the batches they went in.
class MediaWorkers::Round {
 public:
  Round(MediaWorkers& owner, Job& job, std::size_t count) : owner_(owner), job_(job), count_(count) {
    for (std::size_t w = 0; w < std::min(owner.workers_.size(), count); ++w) {
      Slot s;
      s.worker = &owner.workers_[w];
      s.answered = s.worker->progress().taken;  // a worker kept from the last list answered all it took
      slots_.push_back(std::move(s));
    }
  }

  void run() {
    for (;;) {
      handOut();
      std::vector<platform::ChildProcess*> busy;
      std::vector<Slot*> busySlots;
      Clock::time_point soonest = Clock::time_point::max();
      for (Slot& s : slots_)
        if (!s.held.empty()) {
          busy.push_back(s.worker);
          busySlots.push_back(&s);
          soonest = std::min(soonest, deadline(s));
        }
      if (busy.empty()) break;  // unless stopped, nothing is left in `again_` here
      const auto wait =
          std::chrono::duration_cast<std::chrono::milliseconds>(soonest - Clock::now()).count() + 1;
      const int ready = platform::waitForAny(busy, static_cast<int>(std::max<decltype(wait)>(wait, 0)));
      if (ready >= 0) receive(*busySlots[static_cast<std::size_t>(ready)]);
      const auto now = Clock::now();
      // The deadline looked at again: the worker may have gone on since.
      for (Slot& s : slots_)
        if (!s.held.empty() && now >= deadline(s)) fail(s, MediaFailure::TimedOut);
    }
    for (const std::size_t f : again_) job_.fail(f, MediaFailure::Stopped);
    for (; next_ < count_; ++next_) job_.fail(next_, MediaFailure::Stopped);
  }

 private:
  struct Slot {
    platform::ChildProcess* worker = nullptr;
    std::deque<std::size_t> held;     // files sent and not answered, in order
    std::deque<std::size_t> batches;  // the sizes of the batches they went in
    std::uint64_t answered = 0;       // files this worker process has answered, as progress() counts
    bool ready = true;                // a worker started says when it is set up
    Clock::time_point idleSince{};    // its last answer, or when files were sent to it idle
  };

  // The time the file being read (or, none taken yet, the next) has until.
  Clock::time_point deadline(const Slot& s) const {
    const auto p = s.worker->progress();
    return (p.taken > s.answered ? p.at : s.idleSince) + owner_.limit_;
  }

  // One batch to each worker in turn, so that a short list is shared too.
  void handOut() {
    std::vector<std::size_t> batch;
    for (bool handed = true; handed && !stopped_;) {
      handed = false;
      for (Slot& s : slots_) {
        if (s.batches.size() >= kBatchesHeld || stopped_) continue;
        // Smaller towards the end, so that the workers end together.
        const std::size_t left = count_ - next_ + again_.size();
        const std::size_t size =
            std::clamp<std::size_t>(left / (slots_.size() * kBatchesHeld * 2), 1, kBatch);
        batch.clear();
        while (batch.size() < size) {
          if (!again_.empty()) {  // behind a file that killed its worker: not its cause
            batch.push_back(again_.front());
            again_.pop_front();
          } else if (next_ < count_ && !(stopped_ = job_.stop && job_.stop())) {
            batch.push_back(next_++);
          } else {
            break;
          }
        }
        if (batch.empty()) break;
        handed = true;
        if (!send(s, batch)) {
          // No worker to be had: read here, as without one.
          restart(s);
          for (const std::size_t f : again_) job_.inProcess(f);
          again_.clear();
          for (const std::size_t f : batch) job_.inProcess(f);
        }
      }
    }
  }

  // False when no worker can be had. A worker found gone as it is written
  // to is started again once.
  bool send(Slot& s, const std::vector<std::size_t>& batch) {
    if (unusable_) return false;
    media::Writer w;
    for (const std::size_t f : batch) w(std::string_view(job_.request(f)));
    const std::string message = w.take();
    for (int attempt = 0; attempt < 2; ++attempt) {
      bool started = false;
      if (s.worker->exited()) {
        if (!s.ready) {
          unusable_ = true;  // as in receive(): gone before it was set up
          restart(s);
          return false;
        }
        if (!s.held.empty()) fail(s, MediaFailure::Crashed);
        restart(s);  // killed from outside while it waited
      }
      if (!s.worker->running()) {
        restart(s);
        if (!s.worker->start(owner_.program_)) return false;
        started = true;
        s.ready = false;
      }
      if (!s.worker->send(message)) {
        if (!s.held.empty()) fail(s, MediaFailure::Crashed);
        continue;
      }
      if (s.held.empty()) s.idleSince = Clock::now() + (started ? kStartAllowance : Clock::duration{});
      s.held.insert(s.held.end(), batch.begin(), batch.end());
      s.batches.push_back(batch.size());
      return true;
    }
    return false;
  }

  void receive(Slot& s) {
    std::string message;
    while (!s.held.empty()) {
      const auto got = s.worker->receive(message, 0);
      if (got == platform::ChildProcess::Received::TimedOut) break;
      if (got == platform::ChildProcess::Received::Gone) {
        // Gone before it was set up: a worker that cannot run here (its
        // libraries missing), so the files are read here.
        if (!s.ready) {
          unusable_ = true;
          restart(s);
        } else {
          fail(s, MediaFailure::Crashed);
        }
        break;
      }
      if (!s.ready && message.empty()) {
        s.ready = true;
        s.idleSince = Clock::now();
      } else if (!s.ready || !takeAnswers(s, message)) {
        fail(s, MediaFailure::Crashed);  // not our worker's speech
        break;
      }
      if (!s.worker->hasMessage()) break;
    }
  }

  bool takeAnswers(Slot& s, std::string_view message) {
    const auto answers = media::splitBatch(message);
    if (!answers || answers->size() != s.batches.front()) return false;
    for (const std::string_view a : *answers) {
      if (!job_.answer(s.held.front(), a)) return false;
      s.held.pop_front();
      ++s.answered;
    }
    s.batches.pop_front();
    s.idleSince = Clock::now();  // it went on to the next batch at once
    return true;
  }

  // The file the worker was reading fails; the others it held, answered
  // or not (their answers went with it), are read again.
  void fail(Slot& s, MediaFailure failure) {
    const auto p = s.worker->progress();
    const std::size_t at =
        p.taken > s.answered ? std::min<std::size_t>(p.taken - 1 - s.answered, s.held.size() - 1) : 0;
    job_.fail(s.held[at], failure);
    s.held.erase(s.held.begin() + static_cast<std::ptrdiff_t>(at));
    restart(s);
  }

  void restart(Slot& s) {
    s.worker->kill();
    again_.insert(again_.end(), s.held.begin(), s.held.end());
    s.held.clear();
    s.batches.clear();
    s.answered = 0;
  }

  MediaWorkers& owner_;
  Job& job_;
  const std::size_t count_;
  std::vector<Slot> slots_;
  std::size_t next_ = 0;
  std::deque<std::size_t> again_;  // held by a worker that went before it answered them
  bool stopped_ = false, unusable_ = false;
};

void MediaWorkers::run(Job& job, std::size_t count) {
  const std::lock_guard lock(mutex_);
  if (program_.empty()) return runInProcess(job, count);
  Round(*this, job, count).run();
}

void MediaWorkers::runInProcess(Job& job, std::size_t count) {
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
    if (job.stop && job.stop()) {
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
