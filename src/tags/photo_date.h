// SPDX-License-Identifier: GPL-3.0-or-later
// When a photo was taken, read through exiv2 from the file's bytes (the file
// opened through the platform), only the metadata. The first of these that
// holds a date gives it:
//   1. Exif.Photo.DateTimeOriginal, with SubSecTimeOriginal
//   2. Exif.Image.DateTimeOriginal (the same tag put in IFD0 by some
//      scanners and converters), with SubSecTimeOriginal
//   3. Xmp.exif.DateTimeOriginal
//   4. Xmp.photoshop.DateCreated
//   5. Iptc.Application2.DateCreated with TimeCreated
//   6. Exif.Photo.DateTimeDigitized, with SubSecTimeDigitized
//   7. Xmp.exif.DateTimeDigitized, then Xmp.xmp.CreateDate
//   8. Exif.Image.DateTime, with SubSecTime
// The moment of capture comes first, wherever it is kept: the camera's own
// EXIF before what editors copied from it into XMP and IPTC. The time the
// picture became digital (a scan is not when the print was taken) and the
// last change come after. Every date is the camera's clock as written: a zone
// that XMP or IPTC add (or OffsetTimeOriginal) is not applied, as a camera
// names its files by its own clock; a date without a time is its midnight.
// A Canon CRW keeps the capture time in seconds of the camera's clock, which
// exiv2 shifts into the machine's time zone: it is read from the file's heap.
// Videos never reach exiv2: readVideoDate (video_date.h) takes them first.
// Built without exiv2 (QORIN_EXIV2 off), no photo has a date taken.
#pragma once

#include <optional>
#include <string_view>

#include "platform/fs.h"

namespace qorin::tags {

enum class PhotoDateRead : unsigned char {
  Found,
  NoDate,      // no date, or a file exiv2 does not take or cannot parse
  Unreadable,  // the file could not be opened or read
};

// `diskPath` as FileEntry::diskPath gives it; `taken` is written when Found.
PhotoDateRead readPhotoDate(std::string_view diskPath, platform::LocalTime& taken);

// An EXIF date text "YYYY:MM:DD HH:MM:SS" (dashes between the date's parts
// are taken too, and a fraction after the seconds); nothing for a blank,
// zero or impossible one.
std::optional<platform::LocalTime> parseExifDate(std::string_view text);

// An XMP (ISO 8601) date "YYYY-MM-DD", "…Thh:mm", "…Thh:mm:ss" or with a
// fraction, each possibly followed by "Z" or "±hh:mm", which is ignored.
std::optional<platform::LocalTime> parseXmpDate(std::string_view text);

// The milliseconds of a SubSecTime text: the digits of a decimal fraction
// ("5" is 500, "05" is 50, "1234" is 123); -1 for no digits.
int subSecondMs(std::string_view text);

}  // namespace qorin::tags
