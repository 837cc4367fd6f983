// SPDX-License-Identifier: GPL-3.0-or-later
// When a video was recorded, from what its container's header says: Apple's
// com.apple.quicktime.creationdate (the clock it names), Matroska's
// DATE_RECORDED, the creation time (QuickTime/MP4/M4V/3GP and Matroska's
// DateUTC in UTC, AVI's IDIT), AVI's ICRD, MXF's identification date. Read
// through libavformat from the file opened through the platform. Built
// without it (QORIN_AVFORMAT off), videos have none; either way they never
// go to exiv2.
#pragma once

#include <optional>
#include <string_view>

#include "platform/fs.h"
#include "tags/photo_date.h"

namespace qorin::tags {

// Nothing when the file is no video (by its extension or its first bytes):
// then it is a photo's to read. `taken` is written when Found.
std::optional<PhotoDateRead> readVideoDate(std::string_view diskPath, platform::LocalTime& taken);

// Whether these first bytes (16 are enough) start a video container.
bool looksLikeVideo(std::string_view head);

// A date as the library words it: "2021-05-06 07:08:09" (the clock as written),
// with " UTC" or "UTC " (taken to the local clock), or ISO 8601 with "T" and
// an offset or "Z" ("+0200" names its own clock; "Z" is UTC).
std::optional<platform::LocalTime> parseVideoDate(std::string_view text);

}  // namespace qorin::tags
