// SPDX-License-Identifier: GPL-3.0-or-later
// Both tag readers over arbitrary file contents held in memory, and what
// walks old tags to write new ones.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/open_file.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/id3v2_unicode.h"
#include "text/gbtext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  qorin::platform::MemoryBytes file(bytes);
  qorin::tags::TagFields f, stored;
  qorin::tags::readId3v2(file, f, &stored);
  qorin::tags::readId3v1(file, f, &stored);
  // The writer's carry-over and the repair walk old tags too.
  qorin::tags::buildId3v2Tag(f, bytes);
  qorin::tags::unicodeTag(bytes);
  qorin::text::decodeUnlabelled(bytes);
  return 0;
}
