// SPDX-License-Identifier: GPL-3.0-or-later
// The INI reader over arbitrary file contents: no crash; a value read is
// trimmed, on one line and (from text of whole characters) whole; and a key
// written reads back as written, before and after saving, in the file's own
// encoding. The input is a flag byte, section, key and value (length-prefixed
// texts of whole characters), then the file's bytes.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "platform/ini.h"
#include "text/gbtext.h"

namespace qorin::fuzz {
namespace {

using platform::IniFile;

// One folder for the whole run under TMPDIR, removed at exit. run.sh points
// TMPDIR at tmpfs where it can, since every save is flushed to disk.
class Scratch {
 public:
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qorin-ini-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data())) dir_ = pattern;
    FUZZ_CHECK(!dir_.empty());
    path_ = dir_ + "/config.ini";
  }
  ~Scratch() {
    ::unlink(path_.c_str());
    ::rmdir(dir_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string dir_, path_;
};

bool blankAtEnds(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  return !s.empty() && (blank(s.front()) || blank(s.back()));
}

// True when `c` (ASCII) is one of the characters of `s`, not merely a byte
// of one.
bool holdsChar(std::string_view s, char c) {
  for (std::size_t i = 0; i < s.size(); i += text::charLength(s, i))
    if (s[i] == c) return true;
  return false;
}

// A section, key and value that a caller may expect to read back: no line
// break, no blanks at the ends, a non-empty name, a key that neither holds
// "=" nor looks like a section header, a section without the character "]"
// (a character that merely holds its byte is fine).
bool writable(std::string_view section, std::string_view key, std::string_view value) {
  for (std::string_view s : {section, key, value})
    if (s.find_first_of("\r\n") != std::string_view::npos || blankAtEnds(s)) return false;
  return !section.empty() && !key.empty() && key.find('=') == std::string_view::npos && key.front() != '[' &&
         !holdsChar(section, ']');
}

void checkRead(const IniFile& ini, std::string_view section, std::string_view key, bool wholeText) {
  static const std::string kFallback = "\x01";
  const std::string v = ini.get(section, key, kFallback);
  if (v == kFallback) return;
  FUZZ_CHECK(v.find('\n') == std::string::npos && !blankAtEnds(v));
  FUZZ_CHECK(!wholeText || isWhole(v));
}

}  // namespace
}  // namespace qorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qorin;
  using fuzz::IniFile;
  static const fuzz::Scratch scratch;
  static const std::string kSections[] = {text::gb("预览选项"), text::gb("字体"), "a"};
  static const std::string kKeys[] = {text::gb("自动预览"), text::gb("字体名称"), "b"};

  fuzz::Input in(data, size);
  const std::uint8_t flags = in.byte();
  const std::string section = in.text(true), key = in.text(true), value = in.text(true);
  const std::string_view content = in.rest();
  FILE* f = std::fopen(scratch.path().c_str(), "wb");
  FUZZ_CHECK(f != nullptr);
  FUZZ_CHECK(std::fwrite(content.data(), 1, content.size(), f) == content.size());
  FUZZ_CHECK(std::fclose(f) == 0);
  IniFile ini(scratch.path());
  if (!ini.readable()) {
    FUZZ_CHECK(!ini.save());  // content we never saw is never replaced
    return 0;
  }
  // Text that came through a conversion is whole; code-page text as it was.
  const bool wholeText = ini.encoding() != IniFile::Encoding::CodePage || fuzz::isWhole(content);
  for (const std::string& s : kSections)
    for (const std::string& k : kKeys) fuzz::checkRead(ini, s, k, wholeText);
  fuzz::checkRead(ini, section, key, wholeText);

  if (!fuzz::writable(section, key, value)) return 0;
  ini.set(section, key, value);
  FUZZ_CHECK(ini.get(section, key, "\x01") == value);
  if ((flags & 1) || !ini.save()) return 0;  // a text the file's encoding cannot hold is not saved
  const IniFile again(scratch.path());
  FUZZ_CHECK(again.readable());
  if (again.encoding() == ini.encoding()) {
    FUZZ_CHECK(again.get(section, key, "\x01") == value);
  } else {
    // Code-page bytes that happen to be valid UTF-8 read as UTF-8.
    FUZZ_CHECK(ini.encoding() == IniFile::Encoding::CodePage && again.encoding() == IniFile::Encoding::Utf8);
  }
  return 0;
}
