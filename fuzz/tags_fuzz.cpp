// Both tag readers over arbitrary file contents held in memory.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/open_file.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qorin::platform::MemoryBytes file(std::string_view(reinterpret_cast<const char*>(data), size));
  qorin::tags::TagFields f;
  qorin::tags::readId3v2(file, f);
  qorin::tags::readId3v1(file, f);
  // The writer's carry-over walks old tags too.
  qorin::tags::buildId3v2Tag(f, std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
