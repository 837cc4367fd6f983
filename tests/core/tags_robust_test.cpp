// SPDX-License-Identifier: GPL-3.0-or-later
// Malformed input: no crash, no read past the data, false or empty slots.
#include <gtest/gtest.h>

#include "platform/open_file.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"

namespace qorin::tags {
namespace {

using namespace std::literals;
using platform::MemoryBytes;

// Records the largest buffer a read needed: never more than the data holds.
class CountingBytes final : public platform::ByteSource {
 public:
  explicit CountingBytes(std::string_view b) : inner_(b), size_(b.size()) {}
  explicit CountingBytes(std::string&&) = delete;
  std::optional<std::uint64_t> length() override { return size_; }
  bool readAt(std::uint64_t offset, std::size_t n, std::string& out) override {
    const bool ok = inner_.readAt(offset, n, out);
    largest = std::max(largest, out.capacity());
    return ok;
  }
  std::size_t largest = 0;

 private:
  MemoryBytes inner_;
  std::size_t size_;
};

TEST(TagRobustness, MalformedId3v2) {
  const std::string huge = "ID3\x03\0\0\x7F\x7F\x7F\x7F"s;  // claims 256 MB
  const std::string cases[] = {
      huge,
      huge + "TIT2\x7F\xFF\xFF\xFF\0\0\0abc"s,             // frame size past the end
      "ID3\x03\0\0\0\0\0\x20TIT2\0\0\0\0\0\0TPE1"s,        // zero-length frame, then a cut header
      "ID3\x04\0\0\0\0\0\x10TIT2\0\0\0\x80\0\0"s,          // invalid sync-safe frame size
      "ID3\x03\0\x40\0\0\0\x08\xFF\xFF\xFF\xFF\0\0\0\0"s,  // extended header larger than the tag
      "ID3\x04\0\x40\0\0\0\x08\0\0\0\x02\0\0\0\0"s,        // extended header too small
      "ID3\x03\0\x80\0\0\0\x04\xFF\0\xFF\0"s,              // unsynchronisation of nothing but marks
      "ID3\x02\0\x40\0\0\0\x04TT2\0"s,                     // ID3v2.2 compression
      "ID3\x03\0\0\0\0\0\x0E"
      "COMM\0\0\0\x02\0\0\x01\xFF"s,                                 // comment shorter than its language
      "ID3\x03\0\0\0\0\0\x0DTIT2\0\0\0\x03\0\0\x01\xFF"s,            // odd UTF-16 byte count
      "ID3\x03\0\0\0\0\0\x0FTIT2\0\0\0\x05\0\0\x01\xFF\xFE\0\xD8"s,  // lone surrogate
  };
  for (const std::string& c : cases) {
    CountingBytes src(c);
    TagFields f;
    EXPECT_TRUE(readId3v2(src, f)) << c.size();
    EXPECT_LT(src.largest, 4096u);  // not what the header claims
    TagFields back;
    EXPECT_TRUE(parseId3v2Tag(buildId3v2Tag(f, c), back));
    EXPECT_EQ(back, f);
  }
  const std::string rejected[] = {"", "ID3", "ID3\x03\0\0\0\0\0"s, "ID3\x03\0\0\x80\0\0\0"s};
  for (const std::string& c : rejected) {
    MemoryBytes src(c);
    TagFields f;
    f[kTitle] = "kept";
    EXPECT_FALSE(readId3v2(src, f));
    EXPECT_EQ(f[kTitle], "kept");
  }
}

TEST(TagRobustness, ApeTagBeforeId3v1) {
  std::string ape = "APETAGEX"s + std::string(24, '\x01');
  std::string block(128, '\0');
  block.replace(0, 3, "TAG");
  block.replace(3, 5, "Title");
  const std::string file = "\xFF\xFB"s + std::string(100, 'a') + ape + block;
  MemoryBytes src(file);
  TagFields f;
  ASSERT_TRUE(readId3v1(src, f));
  EXPECT_EQ(f[kTitle], "Title");
  // The block is not last: no ID3v1 tag. (The bytes must outlive the view.)
  const std::string apeAfter = "\xFF\xFB"s + block + ape;
  MemoryBytes apeLast(apeAfter);
  f = {};
  EXPECT_FALSE(readId3v1(apeLast, f));
  EXPECT_EQ(f[kTitle], "");
}

}  // namespace
}  // namespace qorin::tags
