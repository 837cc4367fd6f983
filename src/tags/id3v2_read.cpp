#include <algorithm>
#include <optional>
#include <vector>

#include "tags/genres.h"
#include "tags/id3v2.h"
#include "tags/id3v2_format.h"
#include "tags/id3v2_frames.h"
#include "tags/syncsafe.h"
#include "text/gbtext.h"

namespace qorin::tags {

using detail::Id3v2Frame;

namespace {

struct SlotFrame {
  const char* id;    // ID3v2.3/2.4
  const char* id22;  // ID3v2.2
  int slot;
};
constexpr SlotFrame kSlotFrames[] = {
    {"TIT2", "TT2", kTitle},     {"TPE1", "TP1", kArtist},   {"TALB", "TAL", kAlbum},
    {"TRCK", "TRK", kTrack},     {"TYER", "TYE", kYear},     {"TCON", "TCO", kGenre},
    {"COMM", "COM", kComment},   {"TCOM", "TCM", kComposer}, {"TOPE", "TOA", kOriginalArtist},
    {"TCOP", "TCR", kCopyright}, {"WXXX", "WXX", kUrl},      {"TENC", "TEN", kEncodedBy},
};

bool isWide(TextEncoding enc) { return enc == TextEncoding::Utf16 || enc == TextEncoding::Utf16Be; }

TextEncoding encodingOf(char byte) { return static_cast<TextEncoding>(static_cast<unsigned char>(byte)); }

// Position of the first terminator of the encoding at or after `from`, or npos.
std::size_t findTerminator(std::string_view b, TextEncoding enc, std::size_t from) {
  if (!isWide(enc)) return b.find('\0', from);
  for (std::size_t i = from; i + 1 < b.size(); i += 2) {
    if (b[i] == '\0' && b[i + 1] == '\0') return i;
  }
  return std::string_view::npos;
}

std::size_t terminatorLength(TextEncoding enc) { return isWide(enc) ? 2 : 1; }

// One value (no terminator inside) in the code page.
std::string decodeValue(TextEncoding enc, std::string_view b) {
  if (isWide(enc)) {
    bool big = enc == TextEncoding::Utf16Be;
    if (b.size() >= 2) {
      const auto b0 = static_cast<unsigned char>(b[0]), b1 = static_cast<unsigned char>(b[1]);
      if (b0 == 0xFF && b1 == 0xFE) {
        big = false;
        b.remove_prefix(2);
      } else if (b0 == 0xFE && b1 == 0xFF) {
        big = true;
        b.remove_prefix(2);
      }
    }
    b = b.substr(0, b.size() & ~std::size_t{1});
    return text::utf16ToGb(b, big).value_or(std::string());
  }
  if (enc == TextEncoding::Utf8) {
    if (b.substr(0, 3) == "\xEF\xBB\xBF") b.remove_prefix(3);
    // Some writers put code-page bytes under the UTF-8 mark; keep those as stored.
    if (auto gb = text::utf8ToGb(b)) return *std::move(gb);
  }
  return std::string(b);
}

// Every value of a text, in the code page; empty values left out.
std::vector<std::string> decodeValues(TextEncoding enc, std::string_view b) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < b.size()) {
    std::size_t end = findTerminator(b, enc, pos);
    if (end == std::string_view::npos) end = b.size();
    std::string v = decodeValue(enc, b.substr(pos, end - pos));
    if (!v.empty()) out.push_back(std::move(v));
    pos = end + terminatorLength(enc);
  }
  return out;
}

std::string join(const std::vector<std::string>& values) {
  std::string out;
  for (const auto& v : values) {
    if (!out.empty()) out += '/';
    out += v;
  }
  return out;
}

bool isBareGenreNumber(std::string_view s) {
  if (s.empty() || s.size() > 3) return false;
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string textFrame(const Id3v2Frame& f, int version, bool genre) {
  if (f.content.empty()) return {};
  const TextEncoding enc = encodingOf(f.content[0]);
  std::vector<std::string> values = decodeValues(enc, std::string_view(f.content).substr(1));
  if (genre && version == 4) {
    for (auto& v : values) {
      if (isBareGenreNumber(v)) {
        if (const auto name = genreName(text::toNumber(v))) v = std::string(*name);
      }
    }
  }
  return join(values);
}

struct Comment {
  bool ok = false;
  bool emptyDescription = false;
  std::string text;
};

// COMM: encoding, language, description and its terminator, then the text.
Comment commentFrame(const Id3v2Frame& f) {
  Comment c;
  const std::string_view b(f.content);
  if (b.size() < 4) return c;
  const TextEncoding enc = encodingOf(b[0]);
  const std::size_t end = findTerminator(b, enc, 4);
  if (end == std::string_view::npos) return c;  // no description terminator: nothing to trust
  c.ok = true;
  c.emptyDescription = decodeValue(enc, b.substr(4, end - 4)).empty();
  c.text = join(decodeValues(enc, b.substr(end + terminatorLength(enc))));
  return c;
}

// WXXX: encoding, description and its terminator, then the URL's bytes.
std::string urlFrame(const Id3v2Frame& f) {
  const std::string_view b(f.content);
  if (b.empty()) return {};
  const TextEncoding enc = encodingOf(b[0]);
  const std::size_t end = findTerminator(b, enc, 1);
  if (end == std::string_view::npos) return {};
  std::string_view url = b.substr(end + terminatorLength(enc));
  return std::string(url.substr(0, url.find('\0')));
}

}  // namespace

std::string normaliseGenre(std::string_view g) {
  const std::size_t open = g.rfind('(');
  if (open == std::string_view::npos) return std::string(g);
  const std::size_t close = g.find(')', open + 1);
  if (close == std::string_view::npos) return std::string(g.substr(open + 1));
  if (close - open < 5) {
    if (const auto name = genreName(text::toNumber(g.substr(open + 1, close - open - 1)))) {
      return std::string(*name);
    }
    return std::string(g);
  }
  return std::string(g.substr(close + 1));
}

namespace {
bool validHeader(std::string_view h) {
  if (h.size() < kId3v2HeaderSize || h.substr(0, 3) != "ID3") return false;
  const auto u = [&](std::size_t i) { return static_cast<unsigned char>(h[i]); };
  return u(kId3v2VersionAt) < 0xFF && u(kId3v2VersionAt + 1) < 0xFF && u(kId3v2FlagsAt) < 0xFF &&
         isSyncSafe(h.substr(kId3v2SizeAt));
}
}  // namespace

bool hasId3v2(platform::ByteSource& file) {
  std::string head;
  return file.readAt(0, kId3v2HeaderSize, head) && validHeader(head);
}

bool parseId3v2Tag(std::string_view tag, TagFields& fields) {
  if (!validHeader(tag)) return false;
  const detail::Id3v2Frames walk = detail::walkId3v2Frames(tag);
  const int v = walk.version;
  TagFields out;
  std::array<bool, TagFields::kSlotCount + 1> found{};
  std::optional<std::string> firstComment, recordingTime;
  for (const Id3v2Frame& f : walk.frames) {
    if (!f.readable) continue;
    if (f.id == "TDRC") {  // ID3v2.4 writers put the year here
      if (!recordingTime) recordingTime = textFrame(f, v, false).substr(0, 4);
      continue;
    }
    for (const SlotFrame& s : kSlotFrames) {
      if (f.id != (v == 2 ? s.id22 : s.id)) continue;
      if (s.slot == kComment) {
        if (found[kComment]) break;
        Comment c = commentFrame(f);
        if (!c.ok) break;
        if (c.emptyDescription) {
          out[kComment] = std::move(c.text);
          found[kComment] = true;
        } else if (!firstComment) {
          firstComment = std::move(c.text);
        }
      } else if (!found[s.slot]) {
        out[s.slot] = s.slot == kUrl ? urlFrame(f) : textFrame(f, v, s.slot == kGenre);
        found[s.slot] = true;
      }
      break;
    }
  }
  if (!found[kComment] && firstComment) out[kComment] = *firstComment;
  if (!found[kYear] && recordingTime) out[kYear] = *recordingTime;
  if (!out[kGenre].empty()) out[kGenre] = normaliseGenre(out[kGenre]);
  fields = std::move(out);
  return true;
}

bool readId3v2(platform::ByteSource& file, TagFields& fields) {
  std::string head;
  if (!file.readAt(0, kId3v2HeaderSize, head) || !validHeader(head)) return false;
  // The source caps the read at the file's length, whatever the size claims.
  const std::uint32_t size = *decodeSyncSafe(std::string_view(head).substr(kId3v2SizeAt));
  std::string tag;
  if (!file.readAt(0, kId3v2HeaderSize + std::size_t{size}, tag)) return false;
  return parseId3v2Tag(tag, fields);
}

}  // namespace qorin::tags
