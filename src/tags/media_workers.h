// SPDX-License-Identifier: GPL-3.0-or-later
// Dates taken and the tags TagLib reads, read by worker processes of ours
// (qorin-media, src/worker) rather than in the program: exiv2 and TagLib
// parse whatever a file holds, and a crash or a hang inside them then costs
// that one file. Workers start when first needed, take files a batch at a
// time over their socket (platform::ChildProcess), stay for the next lists
// and are started again when one dies. A file is given a time limit from
// when its worker took it; past it the worker is killed and the file fails
// TimedOut, and a worker that dies on a file fails it Crashed; the rest of
// its batch is read again by the next worker. Where no
// worker can run (Windows, or the program is not beside us) the same
// readers run in the program.
// MP3 files stay in the program: their ID3 parser is ours, fuzzed, and
// cheaper than a message to another process.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/child_process.h"
#include "platform/fs.h"
#include "tags/photo_date.h"
#include "tags/tag_reader.h"

namespace qorin::tags {

// A file as the worker opens it: inside the folder that had `folder`'s
// device and inode when the file was listed (a folder swapped in since is
// not followed), by its name there.
struct MediaFile {
  std::string dir;  // with its separator
  platform::FileIdentity folder;
  bool folderKnown = false;  // the identity was taken; without it the path is opened as it is
  std::string name;          // as FileEntry keeps it: behind kGbkNameMark for an old code-page name
};

// Why a file came back without its reader's outcome.
enum class MediaFailure : unsigned char {
  None,
  TimedOut,       // its worker took longer than the limit and was killed
  Crashed,        // its worker died on it
  FolderChanged,  // the folder at its path is not the one it was listed in
  Stopped,        // the caller stopped before it was read
};

struct DateAnswer {
  PhotoDateRead read = PhotoDateRead::Unreadable;
  platform::LocalTime taken;  // where Found
  MediaFailure failure = MediaFailure::None;
};

struct TagAnswer {
  NamingRead read = NamingRead::Unreadable;
  TagFields fields;  // where Tagged
  MediaFailure failure = MediaFailure::None;
};

class MediaWorkers {
 public:
  // `program` empty: every file is read in the program.
  MediaWorkers(std::string program, int workers, std::chrono::milliseconds limit);
  MediaWorkers(const MediaWorkers&) = delete;
  MediaWorkers& operator=(const MediaWorkers&) = delete;

  // A front end's own, kept by its session: qorin-media where
  // platform::helperProgram finds it, as many workers as cores up to 4,
  // 2 s a file.
  static std::unique_ptr<MediaWorkers> ours();
  // The same readers in the program, on as many threads.
  static std::unique_ptr<MediaWorkers> inProgram();

  // Each file's answer into `out` (as long as `files`), several files at
  // once. `stop` is asked before each file is handed out; once it says so
  // no file more is, those in hand are waited for, and the rest fail Stopped.
  void readDates(std::span<const MediaFile> files, std::span<DateAnswer> out,
                 const platform::StopFn& stop = {});
  // Only for files a TagLib reader takes (tagReaderFor): their tags for naming.
  void readTags(std::span<const MediaFile> files, TagPriority priority, std::span<TagAnswer> out,
                const platform::StopFn& stop = {});

  // For tests: another program or limit (workers running are let go).
  void setProgram(std::string program);
  void setLimit(std::chrono::milliseconds limit) { limit_ = limit; }
  // The workers running now.
  std::vector<int> pids() const;

 private:
  struct Job;
  class Round;
  void run(Job& job, std::size_t count);
  void runInProcess(Job& job, std::size_t count);

  mutable std::mutex mutex_;
  std::string program_;
  std::chrono::milliseconds limit_;
  std::vector<platform::ChildProcess> workers_;
};

// The worker's side: the answer to one request, read in `state`'s folder.
// `beforeReading` is told the file's name just before it is read.
class WorkerState {
 public:
  std::string answer(std::string_view request,
                     const std::function<void(std::string_view)>& beforeReading = {});

 private:
  platform::Folder folder_;
  std::string dir_;
  bool entered_ = false;
};

}  // namespace qorin::tags
