// SPDX-License-Identifier: GPL-3.0-or-later
// The texts inside ID3v2 frame contents: where they stand in each kind of
// frame, how their encodings decode to the code page, and re-encoding a frame's
// texts as UTF-16 (what every ID3v2.3 reader decodes).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tags/id3v2_format.h"
#include "tags/id3v2_frames.h"
#include "tags/unlabelled.h"

namespace qorin::tags::detail {

inline TextEncoding encodingOf(char byte) {
  return static_cast<TextEncoding>(static_cast<unsigned char>(byte));
}
inline bool isWide(TextEncoding e) { return e == TextEncoding::Utf16 || e == TextEncoding::Utf16Be; }
inline std::size_t terminatorLength(TextEncoding e) { return isWide(e) ? 2 : 1; }

// Position of the first terminator of the encoding at or after `from`, or npos.
std::size_t findTerminator(std::string_view b, TextEncoding enc, std::size_t from);

// One stored text (no terminator inside) in the code page. Encoding 0
// decodes by text::readUnlabelled; when that cannot tell two readings apart,
// `other` (when given) receives the one not returned, and is left alone
// otherwise. `context`, when given, pools the text with the others of its
// tag and folder. A labelled text (UTF-8, UTF-16) is never guessed: each
// byte or unit that holds no character becomes U+FFFD. Byte-order marks
// alone are no text.
std::string decodeText(TextEncoding enc, std::string_view bytes, std::optional<std::string>* other = nullptr,
                       TextContext* context = nullptr);

// The values of a text separated by terminators, in the code page; empty
// values left out. `others`, when given, gets one entry a value returned:
// its other reading when it was a guess, nothing when it was certain.
std::vector<std::string> decodeValues(TextEncoding enc, std::string_view bytes,
                                      std::vector<std::optional<std::string>>* others = nullptr,
                                      TextContext* context = nullptr);

// Every encoding-0 text of the frames (values one by one) added to `e`.
void weighFrames(const Id3v2Frames& walk, text::Evidence& e);

// "\xFF\xFE" and the text in UTF-16LE; nothing when the text does not convert.
std::optional<std::string> utf16WithBom(std::string_view codePageText);

// Every value of a text frame's content in the code page, empty ones kept.
std::vector<std::string> textValues(std::string_view content);

// A text frame's content holding `values`: encoding 0 when every value is
// ASCII, else UTF-16 with a byte-order mark per value; nothing when a value
// does not convert.
std::optional<std::string> textContent(const std::vector<std::string>& values);

// True for frames whose content starts with a text encoding byte.
bool hasEncodingByte(std::string_view id);

// The texts of a frame's content (ID3v2.3/2.4 identifier, or the ID3v2.2 PIC)
// as written: empty when it holds none, nothing when the content does not
// follow the frame's layout.
std::optional<std::vector<std::string_view>> storedTexts(std::string_view id, std::string_view content);

// The content with its texts re-encoded: as encoding 0 when every text is
// ASCII, else as UTF-16 with a byte-order mark (encoding 1). Several values of
// a text frame are joined with "/" when `joinValues` (ID3v2.3 has no value
// separator). Nothing when the frame has no texts or does not follow its layout.
// `context` pools unlabelled texts as in decodeText.
std::optional<std::string> reencodeContent(std::string_view id, std::string_view content, bool joinValues,
                                           TextContext* context = nullptr);

// The frame's ID3v2.3 identifier (ID3v2.2 ones mapped), empty when it has none.
std::string_view v23Id(const Id3v2Frame& f, int version);

// A readable COMM with an empty description: the comment the editor shows and
// replaces. Comments with a description belong to other programs.
bool isEditorComment(const Id3v2Frame& f);

// A readable WXXX with an empty description: the editor's URL.
bool isEditorUrl(const Id3v2Frame& f);

// Which slot each frame of a tag belongs to, asked in the tag's order: every
// readable frame of a text slot's identifier in kSlotTable (a tag may repeat one), the
// first editor comment and the first editor URL; 0 for any other. The
// reader and the writer share it, so that what one shows is what the other
// replaces.
class SlotClaims {
 public:
  int claim(const Id3v2Frame& f, int version);

 private:
  bool comment_ = false, url_ = false;
};

}  // namespace qorin::tags::detail
