// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/photo_date.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/open_file.h"
#include "tags/video_date.h"

#ifdef QORIN_HAVE_EXIV2
#include <exiv2/bmffimage.hpp>
#include <exiv2/error.hpp>
#include <exiv2/exif.hpp>
#include <exiv2/image.hpp>
#include <exiv2/xmp_exiv2.hpp>
#include <mutex>
#endif

namespace qorin::tags {

namespace {

// Enough for the metadata of a JPEG (it sits before the picture) and of
// most other photos; a file whose head does not give DateTimeOriginal is
// read whole, as TIFF, raw and PNG files may keep their EXIF anywhere.
constexpr std::size_t kHead = 256 * 1024;
// Raw files reach a hundred megabytes; past this the head is all there is.
constexpr std::uint64_t kWholeLimit = 512ull * 1024 * 1024;

int digits(std::string_view s, std::size_t at, std::size_t n) {
  if (at + n > s.size()) return -1;
  int v = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return -1;
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

#ifdef QORIN_HAVE_EXIV2
// The best EXIF date of the bytes: the rank of the tag it came from (0
// best), or -1 when none; `known`: exiv2 took the bytes for an image it reads.
int bestDate(std::string_view bytes, platform::LocalTime& taken, bool& known) {
  known = false;
  static constexpr std::array<const char*, 3> kKeys = {"Exif.Photo.DateTimeOriginal",
                                                       "Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime"};
  try {
    auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.data()),
                                           static_cast<long>(bytes.size()));
    if (!image.get()) return -1;
    known = true;
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    for (std::size_t rank = 0; rank < kKeys.size(); ++rank) {
      const auto it = exif.findKey(Exiv2::ExifKey(kKeys[rank]));
      if (it == exif.end()) continue;
      if (const auto t = parseExifDate(it->toString())) {
        taken = *t;
        return static_cast<int>(rank);
      }
    }
  } catch (...) {  // Exiv2::AnyError, and std::bad_alloc from a size a damaged file claims
  }
  return -1;
}

void lockXmp(void* mutex, bool lock) {
  if (lock) {
    static_cast<std::mutex*>(mutex)->lock();
  } else {
    static_cast<std::mutex*>(mutex)->unlock();
  }
}

// exiv2 reads HEIF and other BMFF files only once asked to, and talks on
// stderr about every damaged file unless muted: both are its own settings,
// set once. Photos are read on several threads: the XMP toolkit behind it
// keeps one registry for the process and wants a lock around it.
void setUpExiv2() {
  static std::once_flag once;
  static std::mutex xmp;
  std::call_once(once, [] {
    Exiv2::enableBMFF(true);
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::XmpParser::initialize(lockXmp, &xmp);
  });
}
#endif

}  // namespace

std::optional<platform::LocalTime> parseExifDate(std::string_view s) {
  // "YYYY:MM:DD HH:MM:SS", possibly followed by a NUL or fractions.
  if (s.size() < 19) return std::nullopt;
  const auto sep = [&](std::size_t at, char a, char b = 0) { return s[at] == a || (b && s[at] == b); };
  if (!sep(4, ':', '-') || !sep(7, ':', '-') || !sep(10, ' ', 'T') || !sep(13, ':') || !sep(16, ':'))
    return std::nullopt;
  platform::LocalTime t{digits(s, 0, 4),  digits(s, 5, 2),  digits(s, 8, 2),
                        digits(s, 11, 2), digits(s, 14, 2), digits(s, 17, 2)};
  if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour < 0 || t.hour > 23 ||
      t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 60)
    return std::nullopt;
  return t;
}

PhotoDateRead photoDateOf(std::string_view bytes, platform::LocalTime& taken) {
#ifdef QORIN_HAVE_EXIV2
  setUpExiv2();
  bool known = false;
  return bestDate(bytes, taken, known) >= 0 ? PhotoDateRead::Found : PhotoDateRead::NoDate;
#else
  (void)bytes;
  (void)taken;
  return PhotoDateRead::NoDate;
#endif
}

PhotoDateRead readPhotoDate(std::string_view diskPath, platform::LocalTime& taken) {
  // Videos are never handed to exiv2: 0.27 hangs on AVIs and crashes on damaged MP4s.
  if (const auto video = readVideoDate(diskPath, taken)) return *video;
  platform::OpenFile f(diskPath, platform::OpenMode::Read);
  if (!f.isOpen()) return PhotoDateRead::Unreadable;
#ifdef QORIN_HAVE_EXIV2
  setUpExiv2();
  const auto length = f.length();
  std::string bytes;
  if (!length || !f.readAt(0, static_cast<std::size_t>(std::min<std::uint64_t>(*length, kHead)), bytes))
    return PhotoDateRead::Unreadable;
  platform::LocalTime head;
  bool known = false;
  const int rank = bestDate(bytes, head, known);
  // A file exiv2 does not take by its head (a video, an archive) is not read whole.
  if (rank == 0 || *length <= bytes.size() || !known || *length > kWholeLimit) {
    if (rank >= 0) taken = head;
    return rank >= 0 ? PhotoDateRead::Found : PhotoDateRead::NoDate;
  }
  if (!f.readAt(0, static_cast<std::size_t>(*length), bytes)) return PhotoDateRead::Unreadable;
  if (bestDate(bytes, taken, known) >= 0) return PhotoDateRead::Found;
  if (rank < 0) return PhotoDateRead::NoDate;
  taken = head;  // what the head gave stands when the whole file gives nothing
  return PhotoDateRead::Found;
#else
  (void)taken;
  return PhotoDateRead::NoDate;
#endif
}

}  // namespace qorin::tags
