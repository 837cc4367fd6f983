// SPDX-License-Identifier: GPL-3.0-or-later
// The messages between the program and its media workers: a request names
// the file and what to read, the answer is the outcome. Requests go several
// in one message (a batch) and their answers come back in one, so that a
// list costs few writes; the worker says through the shared progress page
// (platform::ParentLink::took) when it takes each file, which is where its
// time limit runs from. A worker started says first that it is ready with
// an empty message, so that its start (exec, the libraries loaded) is not
// counted against its first file. Numbers go as 8 bytes little-endian,
// texts as their length and bytes, so names of any bytes travel as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tags/media_workers.h"

namespace qorin::tags::media {

enum class Ask : unsigned char { Date = 'D', Tags = 'T' };

struct Request {
  Ask ask = Ask::Date;
  TagPriority priority = TagPriority::V2First;
  MediaFile file;
};

class Writer {
 public:
  void operator()(std::int64_t v) {
    for (int i = 0; i < 8; ++i)
      bytes_ += static_cast<char>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xFF);
  }
  void operator()(std::string_view v) {
    (*this)(static_cast<std::int64_t>(v.size()));
    bytes_ += v;
  }
  template <class... T>
  void operator()(const T&... v) requires(sizeof...(T) > 1) {
    ((*this)(v), ...);
  }
  std::string take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  void operator()(std::int64_t& v);
  void operator()(std::string& v);
  void operator()(int& v) {
    std::int64_t w = 0;
    (*this)(w);
    v = static_cast<int>(w);
  }
  template <class... T>
  void operator()(T&... v) requires(sizeof...(T) > 1) {
    ((*this)(v), ...);
  }
  // Every read found its bytes and nothing was left over.
  bool whole() const { return ok_ && bytes_.empty(); }
  bool failed() const { return !ok_; }
  bool atEnd() const { return bytes_.empty(); }

 private:
  std::string_view bytes_;
  bool ok_ = true;
};

// A batch: its messages one after another, each as a text.
std::optional<std::vector<std::string_view>> splitBatch(std::string_view bytes);

std::string encode(const Request& r);
std::optional<Request> decodeRequest(std::string_view bytes);
std::string encode(const DateAnswer& a);
std::string encode(const TagAnswer& a);
bool decode(std::string_view bytes, DateAnswer& a);
bool decode(std::string_view bytes, TagAnswer& a);

}  // namespace qorin::tags::media
