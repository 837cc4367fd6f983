// SPDX-License-Identifier: GPL-3.0-or-later
// The batch repair of mojibake collections: ID3v2 texts that were stored
// under encoding 0 with non-ASCII bytes (code-page or UTF-8 bytes that other
// players show as Latin-1) are rewritten as UTF-16, everything else kept.
// Only what is read with certainty is made permanent (text::readUnlabelled):
// an uncertain text stays as stored, and text that is ISO-8859-1 for sure
// already is what encoding 0 promises.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tags/uncertain_text.h"
#include "text/detect.h"

namespace qorin::tags {

// Uncertain: some text could not be read with certainty and stays as it was
// (what else was certain may have been converted).
enum class UnicodeConversion { Converted, NotNeeded, Failed, Uncertain };

// Why a conversion failed.
enum class ConversionProblem {
  None,
  CannotOpen,
  TagPastEnd,
  NotWritable,
  ChangedMeanwhile,
  WriteFailed,
  NotFullyRead,  // the tag's frames could not all be walked: rewriting it would lose some
};

struct ConversionResult {
  UnicodeConversion outcome = UnicodeConversion::NotNeeded;
  ConversionProblem problem = ConversionProblem::None;
  std::vector<UncertainText> uncertain;
};

// The tag with every frame whose texts are stored under encoding 0, hold a
// non-ASCII byte and read with certainty as something other than ISO-8859-1
// re-encoded: its texts stored as UTF-16 with a byte-order mark. A frame with
// an uncertain text keeps its bytes and is told in `uncertain`; so does every
// other frame. The version stays; the tag keeps its length when the frames fit
// in it. Nothing when no frame needs it or the tag cannot be walked whole.
std::optional<std::string> unicodeTag(std::string_view oldTag,
                                      std::vector<UncertainText>* uncertain = nullptr);

// The new start of a file whose ID3v2 tag is `oldTag` (empty for none) and
// whose last 128 bytes are `tail`: the tag converted as above, and the texts
// only an ID3v1 block holds (no ID3v2 tag, or one without those fields) that
// read with certainty as something other than ISO-8859-1 added to it as
// UTF-16 (the tag made ID3v2.3 then). Nothing when there is nothing to write.
struct ConversionPlan {
  std::optional<std::string> newTag;
  std::vector<UncertainText> uncertain;
  bool complete = true;  // the old tag was walked to its end
};
// The texts are judged together with those of the tag and of `folder` (the
// other files of the folder, see fileEvidence); what stays uncertain is read
// as `chosen` when given and the bytes are text in it.
ConversionPlan planConversion(std::string_view oldTag, std::string_view tail,
                              const text::Evidence* folder = nullptr,
                              std::optional<text::Charset> chosen = std::nullopt);

// The unlabelled texts of both tags, weighed; of the file at `path` (nothing
// when it cannot be read).
text::Evidence tagEvidence(std::string_view oldTag, std::string_view tail);
text::Evidence fileEvidence(const std::string& path);

// Does that to the file at `path` (code page) in one atomic step; the audio
// and an ID3v1 block stay as they are. NotNeeded (the file not touched) when
// there is nothing to convert; Failed with NotFullyRead, the file not
// touched, when there is but the tag could not be walked whole. `stateDir` is
// where a file that must keep its inode has its backup while it is rewritten.
ConversionResult convertId3v2ToUnicode(const std::string& path, const std::string& stateDir,
                                       const text::Evidence* folder = nullptr,
                                       std::optional<text::Charset> chosen = std::nullopt);

}  // namespace qorin::tags
