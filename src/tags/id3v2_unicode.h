// The batch repair of mojibake collections: ID3v2 texts that were stored
// under encoding 0 with non-ASCII bytes (code-page or UTF-8 bytes that other
// players show as Latin-1) are rewritten as UTF-16, everything else kept.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qorin::tags {

enum class UnicodeConversion { Converted, NotNeeded, Failed };

// Why a conversion failed.
enum class ConversionProblem { None, CannotOpen, TagPastEnd, NotWritable, ChangedMeanwhile, WriteFailed };

struct ConversionResult {
  UnicodeConversion outcome = UnicodeConversion::NotNeeded;
  ConversionProblem problem = ConversionProblem::None;
};

// The tag with every frame whose texts are stored under encoding 0 and hold
// a non-ASCII byte re-encoded: its texts decoded by text::decodeUnlabelled and
// stored as UTF-16 with a byte-order mark. Every other frame keeps its bytes;
// the version stays; the tag keeps its length when the frames fit in it.
// Nothing when no frame needs it or the tag cannot be walked.
std::optional<std::string> unicodeTag(std::string_view oldTag);

// Does that to the file at `path` (code page) in one atomic step; the audio
// and an ID3v1 block stay as they are. NotNeeded for a file without an
// ID3v2 tag or without such texts (the file is not touched). `stateDir` is
// where a file that must keep its inode has its backup while it is rewritten.
ConversionResult convertId3v2ToUnicode(const std::string& path, const std::string& stateDir);

}  // namespace qorin::tags
