// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <optional>
#include <vector>

#include "tags/genres.h"
#include "tags/id3v2.h"
#include "tags/id3v2_format.h"
#include "tags/id3v2_frames.h"
#include "tags/id3v2_text.h"
#include "tags/syncsafe.h"
#include "text/detect.h"
#include "text/gbtext.h"

namespace qorin::tags {

using detail::decodeText;
using detail::decodeValues;
using detail::encodingOf;
using detail::findTerminator;
using detail::Id3v2Frame;
using detail::terminatorLength;

namespace {

std::string join(const std::vector<std::string>& values) {
  std::string out;
  for (const auto& v : values) {
    if (!out.empty()) out += '/';
    out += v;
  }
  return out;
}

// A slot's text and, when some of its values were guesses, the same text
// with their other readings in their place.
struct SlotText {
  std::string text;
  std::optional<std::string> other;
};

// `others` (one entry a value, when given) make the other text.
SlotText joined(std::vector<std::string> values, const std::vector<std::optional<std::string>>* others) {
  SlotText out{join(values), std::nullopt};
  if (!others || std::none_of(others->begin(), others->end(), [](const auto& o) { return o.has_value(); }))
    return out;
  for (std::size_t i = 0; i < values.size() && i < others->size(); ++i) {
    if ((*others)[i]) values[i] = *(*others)[i];
  }
  out.other = join(values);
  return out;
}

bool isBareGenreNumber(std::string_view s) {
  if (s.empty() || s.size() > 3) return false;
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The two words ID3v2.3 lets a TCON reference besides numbers.
std::optional<std::string_view> genreWord(std::string_view s) {
  if (s == "RX") return "Remix";
  if (s == "CR") return "Cover";
  return std::nullopt;
}

// A genre number as players name it; 255 stands for no genre.
std::string numberedGenre(std::string_view digits) {
  const int n = text::toNumber(digits);
  if (const auto name = playedGenreName(n)) return std::string(*name);
  return n == 255 ? std::string() : std::string(digits);
}

SlotText textFrame(const Id3v2Frame& f, int version, bool genre, bool wantOther, TextContext* context) {
  if (f.content.empty()) return {};
  std::vector<std::optional<std::string>> others;
  std::vector<std::string> values =
      decodeValues(encodingOf(f.content[0]), f.content.substr(1), wantOther ? &others : nullptr, context);
  if (genre && version == 4) {
    // ID3v2.4 lists genres as separate values: numbers, RX, CR or names.
    for (auto& v : values) {
      if (const auto word = genreWord(v)) {
        v = std::string(*word);
      } else if (isBareGenreNumber(v)) {
        v = numberedGenre(v);
      }
    }
    // 255 is no genre: its value goes, with its other reading.
    for (std::size_t k = values.size(); k-- > 0;) {
      if (!values[k].empty()) continue;
      values.erase(values.begin() + static_cast<std::ptrdiff_t>(k));
      if (k < others.size()) others.erase(others.begin() + static_cast<std::ptrdiff_t>(k));
    }
  }
  return joined(std::move(values), wantOther ? &others : nullptr);
}

// COMM: encoding, language, description and its terminator, then the text.
SlotText commentText(const Id3v2Frame& f, bool wantOther, TextContext& context) {
  const std::string_view b = f.content;
  const TextEncoding enc = encodingOf(b[0]);
  const std::size_t end = findTerminator(b, enc, 4);
  std::vector<std::optional<std::string>> others;
  std::vector<std::string> values =
      decodeValues(enc, b.substr(end + terminatorLength(enc)), wantOther ? &others : nullptr, &context);
  return joined(std::move(values), wantOther ? &others : nullptr);
}

// WXXX: encoding, description and its terminator, then the URL.
SlotText urlFrame(const Id3v2Frame& f, bool wantOther, TextContext& context) {
  const std::string_view b = f.content;
  if (b.empty()) return {};
  const TextEncoding enc = encodingOf(b[0]);
  const std::size_t end = findTerminator(b, enc, 1);
  if (end == std::string_view::npos) return {};
  std::string_view url = b.substr(end + terminatorLength(enc));
  url = url.substr(0, url.find('\0'));
  text::Reading r = context.read(url);
  if (!wantOther) return {std::move(r.text), std::nullopt};
  if (!r.uncertain) return {std::move(r.text), std::nullopt};
  return {std::move(r.text), std::move(r.alternative)};
}

bool isYear(std::string_view t) {
  return t.size() >= 4 && std::all_of(t.begin(), t.begin() + 4, [](char c) { return c >= '0' && c <= '9'; });
}

bool validHeader(std::string_view h) {
  if (h.size() < kId3v2HeaderSize || h.substr(0, 3) != "ID3") return false;
  const auto u = [&](std::size_t i) { return static_cast<unsigned char>(h[i]); };
  return u(kId3v2VersionAt) < 0xFF && u(kId3v2VersionAt + 1) < 0xFF && u(kId3v2FlagsAt) < 0xFF &&
         isSyncSafe(h.substr(kId3v2SizeAt));
}

}  // namespace

std::string normaliseGenre(std::string_view g) {
  // ID3v2.3 writers put a bare number too.
  if (isBareGenreNumber(g)) return numberedGenre(g);
  const std::size_t open = g.rfind('(');
  if (open == std::string_view::npos) return std::string(g);
  const std::size_t close = g.find(')', open + 1);
  if (close == std::string_view::npos) return std::string(g.substr(open + 1));
  if (close - open < 5) {
    const std::string_view inside = g.substr(open + 1, close - open - 1);
    if (const auto word = genreWord(inside)) return std::string(*word);
    if (const auto name = playedGenreName(text::toNumber(inside))) return std::string(*name);
    if (inside == "255") return {};
    return std::string(g);
  }
  return std::string(g.substr(close + 1));
}

bool hasId3v2(platform::ByteSource& file) {
  std::string head;
  return file.readAt(0, kId3v2HeaderSize, head) && validHeader(head);
}

bool parseId3v2Tag(std::string_view tag, TagFields& fields, TagFields* asStored, OtherReadings* others,
                   TextContext* context) {
  if (!validHeader(tag)) return false;
  const detail::Id3v2Frames walk = detail::walkId3v2Frames(tag);
  const int v = walk.version;
  // The tag's texts are read together: one encoding wrote them all.
  TextContext own;
  TextContext& ctx = context ? *context : own;
  ctx.tag = {};
  detail::weighFrames(walk, ctx.tag);
  const bool wantOther = others != nullptr;
  // `alt`: each slot's text with the other readings of its guessed values.
  TagFields out, alt;
  std::array<bool, TagFields::kSlotCount + 1> found{}, guessed{};
  std::optional<std::string> recordingTime;
  detail::SlotClaims claims;
  for (const Id3v2Frame& f : walk.frames) {
    if (!f.readable) continue;
    if (detail::v23Id(f, v) == "TDRC") {  // ID3v2.4 writers put the year here
      // Only a year as digits: "Oct 2001" has none to give.
      const std::string t = textFrame(f, v, false, false, nullptr).text;
      if (!recordingTime && isYear(t)) recordingTime = t.substr(0, 4);
      continue;
    }
    const int slot = claims.claim(f, v);
    if (slot == 0) continue;
    // Of repeated frames (seven TPE1, one an artist) players show the first
    // that holds a text; so does the list.
    if (found[slot] && !out[slot].empty()) continue;
    const SlotText read = slot == kComment ? commentText(f, wantOther, ctx)
                          : slot == kUrl   ? urlFrame(f, wantOther, ctx)
                                           : textFrame(f, v, slot == kGenre, wantOther, &ctx);
    found[slot] = true;
    out[slot] = read.text;
    alt[slot] = read.other ? *read.other : read.text;
    guessed[slot] = read.other.has_value();
  }
  if (!found[kYear] && recordingTime) out[kYear] = *recordingTime;
  if (asStored) *asStored = out;
  if (!out[kGenre].empty()) out[kGenre] = normaliseGenre(out[kGenre]);
  if (others) {
    if (!alt[kGenre].empty()) alt[kGenre] = normaliseGenre(alt[kGenre]);
    for (int slot = 1; slot <= TagFields::kSlotCount; ++slot) {
      auto& o = (*others)[slot];
      o.reset();
      if (guessed[static_cast<std::size_t>(slot)] && alt[slot] != out[slot]) o = std::move(alt[slot]);
    }
  }
  fields = std::move(out);
  return true;
}

bool readId3v2(platform::ByteSource& file, TagFields& fields, TagFields* asStored, OtherReadings* others,
               TextContext* context) {
  std::string head;
  if (!file.readAt(0, kId3v2HeaderSize, head) || !validHeader(head)) return false;
  // The source caps the read at the file's length, whatever the size claims.
  const std::uint32_t size = *decodeSyncSafe(std::string_view(head).substr(kId3v2SizeAt));
  std::string tag;
  if (!file.readAt(0, kId3v2HeaderSize + std::size_t{size}, tag)) return false;
  return parseId3v2Tag(tag, fields, asStored, others, context);
}

}  // namespace qorin::tags
