#include "tags/tag_editor_fields.h"

namespace qorin::tags {

TagFields collectId3v2Fields(const Id3v2EditorTexts& b) {
  TagFields f;
  f[kTitle] = b.title;
  f[kArtist] = b.artist;
  f[kAlbum] = b.album;
  f[kTrack] = b.track;
  f[kYear] = b.year;
  if (b.genreValue >= 0) f[kGenre] = "(" + std::to_string(b.genreValue) + ")" + b.genreText;
  f[kComment] = b.comment;
  f[kComposer] = b.composer;
  f[kOriginalArtist] = b.originalArtist;
  f[kCopyright] = b.copyright;
  f[kUrl] = b.url;
  f[kEncodedBy] = b.encodedBy;
  return f;
}

}  // namespace qorin::tags
