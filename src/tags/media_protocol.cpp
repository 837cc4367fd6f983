// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/media_protocol.h"

namespace qorin::tags::media {

namespace {

// Every field of a date taken, in one place: a new field of LocalTime is
// one more name here.
template <class Archive, class Time>
void timeFields(Archive& a, Time& t) {
  a(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
}

std::int64_t code(auto e) { return static_cast<std::int64_t>(e); }

template <class E>
bool codeOf(std::int64_t v, E last, E& out) {
  if (v < 0 || v > static_cast<std::int64_t>(last)) return false;
  out = static_cast<E>(v);
  return true;
}

}  // namespace

void Reader::operator()(std::int64_t& v) {
  if (bytes_.size() < 8) {
    ok_ = false;
    v = 0;
    return;
  }
  std::uint64_t u = 0;
  for (int i = 0; i < 8; ++i)
    u |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes_[i])) << (8 * i);
  bytes_.remove_prefix(8);
  v = static_cast<std::int64_t>(u);
}

void Reader::operator()(std::string& v) {
  std::int64_t n = 0;
  (*this)(n);
  if (!ok_ || n < 0 || static_cast<std::uint64_t>(n) > bytes_.size()) {
    ok_ = false;
    v.clear();
    return;
  }
  v.assign(bytes_.substr(0, static_cast<std::size_t>(n)));
  bytes_.remove_prefix(static_cast<std::size_t>(n));
}

std::optional<std::vector<std::string_view>> splitBatch(std::string_view bytes) {
  std::vector<std::string_view> out;
  while (!bytes.empty()) {
    Reader r(bytes.substr(0, 8));
    std::int64_t n = 0;
    r(n);
    if (r.failed() || n < 0 || static_cast<std::uint64_t>(n) > bytes.size() - 8) return std::nullopt;
    out.push_back(bytes.substr(8, static_cast<std::size_t>(n)));
    bytes.remove_prefix(8 + static_cast<std::size_t>(n));
  }
  return out;
}

std::string encode(const Request& r) {
  Writer w;
  w(code(r.ask), code(r.priority), static_cast<std::int64_t>(r.file.folder.device),
    static_cast<std::int64_t>(r.file.folder.inode), code(r.file.folderKnown));
  w(std::string_view(r.file.dir), std::string_view(r.file.name));
  return w.take();
}

std::optional<Request> decodeRequest(std::string_view bytes) {
  Reader r(bytes);
  std::int64_t ask = 0, priority = 0, device = 0, inode = 0, known = 0;
  Request out;
  r(ask, priority, device, inode, known);
  r(out.file.dir, out.file.name);
  if (!r.whole() || (ask != code(Ask::Date) && ask != code(Ask::Tags)) ||
      !codeOf(priority, TagPriority::V2First, out.priority))
    return std::nullopt;
  out.ask = static_cast<Ask>(ask);
  out.file.folder.device = static_cast<std::uint64_t>(device);
  out.file.folder.inode = static_cast<std::uint64_t>(inode);
  out.file.folderKnown = known != 0;
  return out;
}

std::string encode(const DateAnswer& a) {
  Writer w;
  w(code(a.read), code(a.failure));
  timeFields(w, a.taken);
  return w.take();
}

bool decode(std::string_view bytes, DateAnswer& a) {
  Reader r(bytes);
  std::int64_t read = 0, failure = 0;
  r(read, failure);
  timeFields(r, a.taken);
  return r.whole() && codeOf(read, PhotoDateRead::Unreadable, a.read) &&
         codeOf(failure, MediaFailure::Stopped, a.failure);
}

std::string encode(const TagAnswer& a) {
  Writer w;
  w(code(a.read), code(a.failure));
  for (const std::string& t : a.fields.texts) w(std::string_view(t));
  return w.take();
}

bool decode(std::string_view bytes, TagAnswer& a) {
  Reader r(bytes);
  std::int64_t read = 0, failure = 0;
  r(read, failure);
  for (std::string& t : a.fields.texts) r(t);
  return r.whole() && codeOf(read, NamingRead::TextChunks, a.read) &&
         codeOf(failure, MediaFailure::Stopped, a.failure);
}

}  // namespace qorin::tags::media
