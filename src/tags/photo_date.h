// SPDX-License-Identifier: GPL-3.0-or-later
// When a photo was taken, from its EXIF: DateTimeOriginal, else
// DateTimeDigitized, else DateTime. Read through exiv2 from the file's bytes
// (the file opened through the platform), only the metadata. Built without
// exiv2 (QORIN_EXIV2 off), no file has one.
#pragma once

#include <optional>
#include <string_view>

#include "platform/fs.h"

namespace qorin::tags {

enum class PhotoDateRead : unsigned char {
  Found,
  NoDate,      // no EXIF date, or a file exiv2 does not take or cannot parse
  Unreadable,  // the file could not be opened or read
};

// `diskPath` as FileEntry::diskPath gives it; `taken` is written when Found.
PhotoDateRead readPhotoDate(std::string_view diskPath, platform::LocalTime& taken);

// The same from bytes in memory (JPEG, TIFF, PNG, WebP, HEIF, the raw formats
// exiv2 reads).
PhotoDateRead photoDateOf(std::string_view bytes, platform::LocalTime& taken);

// An EXIF date text "YYYY:MM:DD HH:MM:SS" (dashes between the date's parts
// are taken too); nothing for a blank, zero or impossible one.
std::optional<platform::LocalTime> parseExifDate(std::string_view text);

}  // namespace qorin::tags
