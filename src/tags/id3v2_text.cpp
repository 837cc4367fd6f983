// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/id3v2_text.h"

#include <algorithm>

#include "tags/tag_slots.h"
#include "text/detect.h"
#include "text/gbtext.h"

namespace qorin::tags::detail {

namespace {

// What follows the encoding byte, step by step.
enum class Step { Fixed1, Fixed3, Fixed8, Latin1Z, TextZ, Values, BytesRest, SyltEntries };

struct Layout {
  std::string_view id;
  std::vector<Step> steps;
};

const std::vector<Layout>& layouts() {
  using S = Step;
  static const std::vector<Layout> kLayouts = {
      {"TXXX", {S::TextZ, S::Values}},
      {"WXXX", {S::TextZ, S::BytesRest}},  // the URL itself is always ISO-8859-1
      {"COMM", {S::Fixed3, S::TextZ, S::Values}},
      {"USLT", {S::Fixed3, S::TextZ, S::Values}},
      {"APIC", {S::Latin1Z, S::Fixed1, S::TextZ, S::BytesRest}},
      {"PIC", {S::Fixed3, S::Fixed1, S::TextZ, S::BytesRest}},
      {"GEOB", {S::Latin1Z, S::TextZ, S::TextZ, S::BytesRest}},
      {"SYLT", {S::Fixed3, S::Fixed1, S::Fixed1, S::TextZ, S::SyltEntries}},
      {"USER", {S::Fixed3, S::Values}},
      {"OWNE", {S::Latin1Z, S::Fixed8, S::Values}},
      {"COMR", {S::Latin1Z, S::Fixed8, S::Latin1Z, S::Fixed1, S::TextZ, S::TextZ, S::Latin1Z, S::BytesRest}},
  };
  return kLayouts;
}

const std::vector<Step>* layoutOf(std::string_view id) {
  static const std::vector<Step> kTextFrame = {Step::Values};
  for (const Layout& l : layouts()) {
    if (l.id == id) return &l.steps;
  }
  return id.size() == 4 && id[0] == 'T' ? &kTextFrame : nullptr;
}

enum class PartKind { Bytes, Text, Values };
struct Part {
  PartKind kind;
  std::string_view bytes;
};

std::optional<std::vector<Part>> split(std::string_view id, std::string_view c) {
  const std::vector<Step>* steps = layoutOf(id);
  if (!steps || c.empty()) return std::nullopt;
  const TextEncoding enc = encodingOf(c[0]);
  std::vector<Part> parts;
  std::size_t pos = 1;
  const auto fixed = [&](std::size_t n) {
    if (c.size() - pos < n) return false;
    parts.push_back({PartKind::Bytes, c.substr(pos, n)});
    pos += n;
    return true;
  };
  const auto text = [&] {
    const std::size_t end = findTerminator(c, enc, pos);
    if (end == std::string_view::npos) return false;
    parts.push_back({PartKind::Text, c.substr(pos, end - pos)});
    pos = end + terminatorLength(enc);
    return true;
  };
  for (const Step s : *steps) {
    bool ok = true;
    switch (s) {
      case Step::Fixed1:
        ok = fixed(1);
        break;
      case Step::Fixed3:
        ok = fixed(3);
        break;
      case Step::Fixed8:
        ok = fixed(8);
        break;
      case Step::Latin1Z: {
        const std::size_t end = c.find('\0', pos);
        ok = end != std::string_view::npos && fixed(end + 1 - pos);
        break;
      }
      case Step::TextZ:
        ok = text();
        break;
      case Step::Values:
        parts.push_back({PartKind::Values, c.substr(pos)});
        pos = c.size();
        break;
      case Step::BytesRest:
        ok = fixed(c.size() - pos);
        break;
      case Step::SyltEntries:
        while (ok && pos < c.size()) ok = text() && fixed(4);  // a text, then its time stamp
        break;
    }
    if (!ok) return std::nullopt;
  }
  return parts;
}

// The values of a text as stored; a terminator after the last one ends it.
std::vector<std::string_view> splitValues(TextEncoding enc, std::string_view b) {
  std::vector<std::string_view> out;
  std::size_t pos = 0;
  while (pos < b.size()) {
    std::size_t end = findTerminator(b, enc, pos);
    if (end == std::string_view::npos) end = b.size();
    out.push_back(b.substr(pos, end - pos));
    pos = end + terminatorLength(enc);
  }
  return out;
}

// A surrogate without its partner holds no character: it becomes U+FFFD, so
// that what is shown says something is there rather than leaving it out; so
// does an odd last byte that is not a stray terminator.
std::string markLoneSurrogates(std::string_view b, bool big) {
  std::string out(b);
  const auto unit = [&](std::size_t k) {
    const auto x = static_cast<unsigned char>(out[k]), y = static_cast<unsigned char>(out[k + 1]);
    return big ? (x << 8 | y) : (y << 8 | x);
  };
  const auto high = [](int u) { return u >= 0xD800 && u <= 0xDBFF; };
  const auto low = [](int u) { return u >= 0xDC00 && u <= 0xDFFF; };
  for (std::size_t k = 0; k + 1 < out.size(); k += 2) {
    const int u = unit(k);
    if (high(u) && k + 3 < out.size() && low(unit(k + 2))) {
      k += 2;
      continue;
    }
    if (high(u) || low(u)) {
      out[k] = static_cast<char>(big ? 0xFF : 0xFD);
      out[k + 1] = static_cast<char>(big ? 0xFD : 0xFF);
    }
  }
  if (out.size() % 2 != 0) {
    const bool stray = out.back() == '\0';
    out.pop_back();
    if (!stray) out += big ? "\xFF\xFD" : "\xFD\xFF";
  }
  return out;
}

// The length of the well-formed UTF-8 character at `i`, 0 when none starts
// there (a stray byte, a cut-off, overlong or surrogate form).
std::size_t utf8Length(std::string_view b, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(b[k]); };
  const unsigned char c = at(i);
  if (c < 0x80) return 1;
  std::size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the first continuation byte's range
  if (c >= 0xC2 && c <= 0xDF) {
    n = 1;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 2;
    lo = c == 0xE0 ? 0xA0 : lo;
    hi = c == 0xED ? 0x9F : hi;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 3;
    lo = c == 0xF0 ? 0x90 : lo;
    hi = c == 0xF4 ? 0x8F : hi;
  } else {
    return 0;
  }
  if (b.size() - i - 1 < n || at(i + 1) < lo || at(i + 1) > hi) return 0;
  for (std::size_t k = 2; k <= n; ++k)
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  return n + 1;
}

// A frame labelled UTF-8 is UTF-8: a byte that is not part of a character
// becomes U+FFFD by itself, and the rest reads as written.
std::string utf8ToGbMarked(std::string_view b) {
  std::string clean;
  clean.reserve(b.size());
  for (std::size_t i = 0; i < b.size();) {
    const std::size_t n = utf8Length(b, i);
    clean += n ? b.substr(i, n) : std::string_view("\xEF\xBF\xBD");
    i += n ? n : 1;
  }
  return text::utf8ToGb(clean).value_or(std::string());
}

// Byte-order marks and nothing else (a writer's empty UTF-16 text under
// encoding 0, "þÿ" if read as it stands) hold no text.
bool onlyByteOrderMarks(std::string_view b) {
  if (b.empty()) return false;
  while (!b.empty()) {
    if (b.starts_with("\xEF\xBB\xBF")) {
      b.remove_prefix(3);
    } else if (b.starts_with("\xFF\xFE") || b.starts_with("\xFE\xFF")) {
      b.remove_prefix(2);
    } else {
      return false;
    }
  }
  return true;
}

bool isValueList(std::string_view id) { return id == "IPLS" || id == "TIPL" || id == "TMCL"; }

}  // namespace

std::size_t findTerminator(std::string_view b, TextEncoding enc, std::size_t from) {
  if (!isWide(enc)) return b.find('\0', from);
  for (std::size_t i = from; i + 1 < b.size(); i += 2) {
    if (b[i] == '\0' && b[i + 1] == '\0') return i;
  }
  return std::string_view::npos;
}

std::string decodeText(TextEncoding enc, std::string_view b, std::optional<std::string>* other,
                       TextContext* context) {
  if (onlyByteOrderMarks(b)) return {};
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
    return text::utf16ToGbLenient(markLoneSurrogates(b, big), big);
  }
  if (enc == TextEncoding::Utf8) {
    if (b.substr(0, 3) == "\xEF\xBB\xBF") b.remove_prefix(3);
    return utf8ToGbMarked(b);
  }
  if (!other && !context) return text::decodeUnlabelled(b);
  text::Reading r = context ? context->read(b) : text::readUnlabelled(b);
  if (!other) return std::move(r.text);
  if (r.uncertain) *other = std::move(r.alternative);
  return std::move(r.text);
}

std::vector<std::string> decodeValues(TextEncoding enc, std::string_view b,
                                      std::vector<std::optional<std::string>>* others, TextContext* context) {
  std::vector<std::string> out;
  for (const std::string_view v : splitValues(enc, b)) {
    std::optional<std::string> other;
    std::string s = decodeText(enc, v, others ? &other : nullptr, context);
    if (s.empty()) continue;
    out.push_back(std::move(s));
    if (others) others->push_back(std::move(other));
  }
  return out;
}

void weighFrames(const Id3v2Frames& walk, text::Evidence& e) {
  for (const Id3v2Frame& f : walk.frames) {
    if (!f.readable || f.content.empty() || encodingOf(f.content[0]) != TextEncoding::Latin1) continue;
    const std::string_view id = walk.version == 2 && f.id == "PIC" ? f.id : v23Id(f, walk.version);
    if (id.empty()) continue;
    if (const auto texts = storedTexts(id, f.content)) {
      for (const std::string_view t : *texts)
        for (const std::string_view v : splitValues(TextEncoding::Latin1, t))
          if (!onlyByteOrderMarks(v)) e.add(v);
    }
  }
}

std::optional<std::string> utf16WithBom(std::string_view codePageText) {
  auto wide = text::gbToUtf16(codePageText);
  if (!wide) return std::nullopt;
  return "\xFF\xFE" + *wide;
}

std::vector<std::string> textValues(std::string_view content) {
  std::vector<std::string> out;
  if (content.empty()) return out;
  const TextEncoding enc = encodingOf(content[0]);
  for (const std::string_view v : splitValues(enc, content.substr(1))) out.push_back(decodeText(enc, v));
  return out;
}

std::optional<std::string> textContent(const std::vector<std::string>& values) {
  const bool ascii =
      std::all_of(values.begin(), values.end(), [](const std::string& v) { return text::isAscii(v); });
  std::string out(1, encodingByte(ascii ? TextEncoding::Latin1 : TextEncoding::Utf16));
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ascii ? std::string_view("\0", 1) : std::string_view("\0\0", 2);
    if (ascii) {
      out += values[i];
    } else if (auto wide = utf16WithBom(values[i])) {
      out += *wide;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

bool hasEncodingByte(std::string_view id) { return layoutOf(id) != nullptr; }

std::optional<std::vector<std::string_view>> storedTexts(std::string_view id, std::string_view content) {
  const auto parts = split(id, content);
  if (!parts) return std::nullopt;
  std::vector<std::string_view> out;
  for (const Part& p : *parts) {
    if (p.kind != PartKind::Bytes) out.push_back(p.bytes);
  }
  return out;
}

std::optional<std::string> reencodeContent(std::string_view id, std::string_view content, bool joinValues,
                                           TextContext* context) {
  const auto parts = split(id, content);
  if (!parts) return std::nullopt;
  const TextEncoding enc = encodingOf(content[0]);
  const bool join = joinValues && id[0] == 'T' && !isValueList(id);
  // The texts of each part in the code page; a Bytes part has none.
  std::vector<std::vector<std::string>> texts;
  bool ascii = true;
  for (const Part& p : *parts) {
    std::vector<std::string> t;
    if (p.kind == PartKind::Text) t.push_back(decodeText(enc, p.bytes, nullptr, context));
    if (p.kind == PartKind::Values) {
      for (const std::string_view v : splitValues(enc, p.bytes))
        t.push_back(decodeText(enc, v, nullptr, context));
      if (join) {
        std::string one;
        for (const std::string& v : t) {
          if (v.empty()) continue;
          if (!one.empty()) one += '/';
          one += v;
        }
        t.assign(1, one);
      }
    }
    for (const std::string& s : t) ascii = ascii && text::isAscii(s);
    texts.push_back(std::move(t));
  }
  const TextEncoding target = ascii ? TextEncoding::Latin1 : TextEncoding::Utf16;
  const std::string_view terminator = ascii ? std::string_view("\0", 1) : std::string_view("\0\0", 2);
  std::string out(1, encodingByte(target));
  for (std::size_t i = 0; i < parts->size(); ++i) {
    const Part& p = (*parts)[i];
    if (p.kind == PartKind::Bytes) {
      out += p.bytes;
      continue;
    }
    for (std::size_t k = 0; k < texts[i].size(); ++k) {
      if (k > 0) out += terminator;
      if (ascii) {
        out += texts[i][k];
      } else if (auto wide = utf16WithBom(texts[i][k])) {
        out += *wide;
      } else {
        return std::nullopt;
      }
    }
    if (p.kind == PartKind::Text) out += terminator;
  }
  return out;
}

std::string_view v23Id(const Id3v2Frame& f, int version) {
  if (version != 2) return f.id;
  return v23IdOf(f.id).value_or(std::string_view());
}

bool isEditorUrl(const Id3v2Frame& f) {
  if (!f.readable || f.content.empty()) return false;
  const TextEncoding enc = encodingOf(f.content[0]);
  const std::size_t end = findTerminator(f.content, enc, 1);
  return end != std::string_view::npos && decodeText(enc, f.content.substr(1, end - 1)).empty();
}

int SlotClaims::claim(const Id3v2Frame& f, int version) {
  if (!f.readable) return 0;
  const std::string_view id = v23Id(f, version);
  for (const SlotRow& s : kSlotTable) {
    if (id != s.frame) continue;
    if (s.slot == kComment) {
      if (comment_ || !isEditorComment(f)) return 0;
      comment_ = true;
    } else if (s.slot == kUrl) {
      if (url_ || !isEditorUrl(f)) return 0;
      url_ = true;
    }
    return s.slot;
  }
  return 0;
}

bool isEditorComment(const Id3v2Frame& f) {
  if (!f.readable || f.content.size() < 4) return false;
  const TextEncoding enc = encodingOf(f.content[0]);
  const std::size_t end = findTerminator(f.content, enc, 4);
  return end != std::string_view::npos && decodeText(enc, f.content.substr(4, end - 4)).empty();
}

}  // namespace qorin::tags::detail
