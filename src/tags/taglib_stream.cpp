// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/taglib_stream.h"

#include <algorithm>

#include "text/gbtext.h"

namespace qorin::tags::detail {

std::string_view ReadOnlyStream::bytesAt(std::uint64_t offset, std::size_t n) {
  if (n == 0 || offset >= length_) return {};
  const bool inWindow = offset >= windowAt_ && offset - windowAt_ <= window_.size() &&
                        n <= window_.size() - (offset - windowAt_);
  if (!inWindow) {
    // readAt never reads past the end, whatever length a damaged size field asks for.
    if (!file_.readAt(offset, std::max(n, kWindow), window_)) window_.clear();
    windowAt_ = offset;
  }
  const auto from = static_cast<std::size_t>(offset - windowAt_);
  return std::string_view(window_).substr(from, n);
}

TagLib::ByteVector ReadOnlyStream::readBlock(unsigned long length) {
  const std::string_view b = bytesAt(pos_, length);
  pos_ += b.size();
  return TagLib::ByteVector(b.data(), static_cast<unsigned int>(b.size()));
}

void ReadOnlyStream::seek(long offset, Position p) {
  // Offsets come from the file's size fields: a damaged one must not overflow.
  const std::int64_t base = p == Beginning ? 0
                            : p == Current ? static_cast<std::int64_t>(pos_)
                                           : static_cast<std::int64_t>(length_);
  const std::int64_t to = offset > 0 && base > INT64_MAX - offset ? INT64_MAX : base + offset;  // base >= 0
  pos_ = static_cast<std::uint64_t>(std::max<std::int64_t>(0, to));
}

std::string gbOf(const TagLib::String& s) {
  return text::utf16ToGbLenient(viewOf(s.data(TagLib::String::UTF16LE)), false);
}

std::string gbOfUtf8(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (text::isUtf8(bytes)) {
    if (auto gb = text::utf8ToGb(bytes)) return *std::move(gb);
  }
  return text::decodeUnlabelled(bytes);
}

void setSlotText(TagFields& fields, int slot, std::string_view bytes) {
  if (slot == 0 || !fields[slot].empty()) return;
  std::string t = gbOfUtf8(bytes);
  if (slot == kYear && t.size() > 4 &&
      std::all_of(t.begin(), t.begin() + 4, [](char c) { return c >= '0' && c <= '9'; }))
    t.resize(4);
  fields[slot] = std::move(t);
}

NamingRead fromTag(const TagLib::Tag* t, TagFields& fields) {
  if (!t || t->isEmpty()) return NamingRead::NoTag;
  fields[kTitle] = gbOf(t->title());
  fields[kArtist] = gbOf(t->artist());
  fields[kAlbum] = gbOf(t->album());
  fields[kComment] = gbOf(t->comment());
  fields[kGenre] = gbOf(t->genre());
  if (t->year()) fields[kYear] = std::to_string(t->year());
  if (t->track()) fields[kTrack] = std::to_string(t->track());
  return NamingRead::Tagged;
}

}  // namespace qorin::tags::detail
