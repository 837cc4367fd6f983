// SPDX-License-Identifier: GPL-3.0-or-later
// What the TagLib readers share: a read-only TagLib stream over the platform
// layer's file, and the ways their texts become the code page.
#pragma once

#include <taglib/tag.h>
#include <taglib/tiostream.h>

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "platform/open_file.h"
#include "tags/tag_reader.h"

namespace qorin::tags::detail {

// TagLib reads in many small pieces; a window of the file keeps the system
// calls few. The file is only read, so its length is asked once.
class ReadOnlyStream final : public TagLib::IOStream {
 public:
  explicit ReadOnlyStream(platform::OpenFile& file) : file_(file), length_(file.length().value_or(0)) {}

  TagLib::FileName name() const override { return file_.path().c_str(); }
  TagLib::ByteVector readBlock(unsigned long length) override;
  void writeBlock(const TagLib::ByteVector&) override {}
  void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
  void removeBlock(unsigned long, unsigned long) override {}
  bool readOnly() const override { return true; }
  bool isOpen() const override { return file_.isOpen(); }
  void seek(long offset, Position p) override;
  long tell() const override { return static_cast<long>(pos_); }
  long length() override { return static_cast<long>(length_); }
  void truncate(long) override {}

  // Up to `n` bytes at `offset`, fewer at the end; valid until the next read.
  std::string_view bytesAt(std::uint64_t offset, std::size_t n);
  // The file itself, for our own ID3 readers.
  platform::OpenFile& file() { return file_; }

 private:
  static constexpr std::size_t kWindow = 16 * 1024;

  platform::OpenFile& file_;
  std::uint64_t length_;
  std::uint64_t pos_ = 0;
  std::uint64_t windowAt_ = 0;
  std::string window_;
};

inline std::string_view viewOf(const TagLib::ByteVector& b) { return {b.data(), b.size()}; }

inline std::uint32_t le32(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
  return v;
}

// TagLib's texts are Unicode already (MP4 and ASF label theirs).
std::string gbOf(const TagLib::String& s);

// Texts a format says are UTF-8 but whose items carry no label of their own
// (Vorbis comments, APE items, RIFF INFO): some taggers write code-page bytes
// there, and those are read as ID3 reads unlabelled texts.
std::string gbOfUtf8(std::string_view bytes);

// Fills an empty slot from such bytes; a date ("2003-05-01") names by its
// year, as an ID3 year frame would.
void setSlotText(TagFields& fields, int slot, std::string_view bytes);

// What TagLib decoded, where the raw bytes could not be had.
NamingRead fromTag(const TagLib::Tag* t, TagFields& fields);

// A reader over a file opened read-only through the platform layer; TagLib
// never sees the path.
using StreamRead = NamingRead (*)(ReadOnlyStream&, TagPriority, TagFields&);
template <StreamRead read>
NamingRead readForNaming(std::string_view path, TagPriority priority, TagFields& fields) {
  platform::OpenFile file;
  if (!file.open(path, platform::OpenMode::Read)) return NamingRead::Unreadable;
  ReadOnlyStream stream(file);
  try {
    return read(stream, priority, fields);
  } catch (const std::exception&) {  // a damaged size field TagLib believed
    return NamingRead::Damaged;
  }
}

}  // namespace qorin::tags::detail
