// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/photo_date.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "platform/open_file.h"
#include "tags/video_date.h"

#ifdef QORIN_HAVE_EXIV2
#include <exiv2/bmffimage.hpp>
#include <exiv2/crwimage.hpp>
#include <exiv2/error.hpp>
#include <exiv2/exif.hpp>
#include <exiv2/image.hpp>
#include <exiv2/iptc.hpp>
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

bool plausible(const platform::LocalTime& t) {
  return t.year >= 1 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour >= 0 &&
         t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 60;
}

// The milliseconds of the fraction that may follow the seconds at `at`.
int fractionAt(std::string_view s, std::size_t at) {
  return at < s.size() && (s[at] == '.' || s[at] == ',') ? subSecondMs(s.substr(at + 1)) : -1;
}

#ifdef QORIN_HAVE_EXIV2
enum class Kind : unsigned char { Exif, Xmp, Iptc };
struct Source {
  Kind kind;
  const char* key;
  const char* fraction;  // EXIF: its SubSecTime tag; IPTC: the time beside the date
};
// In the order of photo_date.h.
constexpr std::array<Source, 9> kSources = {{
    {Kind::Exif, "Exif.Photo.DateTimeOriginal", "Exif.Photo.SubSecTimeOriginal"},
    {Kind::Exif, "Exif.Image.DateTimeOriginal", "Exif.Photo.SubSecTimeOriginal"},
    {Kind::Xmp, "Xmp.exif.DateTimeOriginal", nullptr},
    {Kind::Xmp, "Xmp.photoshop.DateCreated", nullptr},
    {Kind::Iptc, "Iptc.Application2.DateCreated", "Iptc.Application2.TimeCreated"},
    {Kind::Exif, "Exif.Photo.DateTimeDigitized", "Exif.Photo.SubSecTimeDigitized"},
    {Kind::Xmp, "Xmp.exif.DateTimeDigitized", nullptr},
    {Kind::Xmp, "Xmp.xmp.CreateDate", nullptr},
    {Kind::Exif, "Exif.Image.DateTime", "Exif.Photo.SubSecTime"},
}};

template <typename Data, typename Key>
std::optional<std::string> textOf(const Data& data, const char* key) {
  const auto it = data.findKey(Key(key));
  if (it == data.end()) return std::nullopt;
  return it->toString();
}

std::optional<platform::LocalTime> dateFrom(const Exiv2::Image& image, const Source& s) {
  switch (s.kind) {
    case Kind::Exif: {
      const auto text = textOf<Exiv2::ExifData, Exiv2::ExifKey>(image.exifData(), s.key);
      auto t = text ? parseExifDate(*text) : std::nullopt;
      if (t && t->millisecond < 0)
        if (const auto sub = textOf<Exiv2::ExifData, Exiv2::ExifKey>(image.exifData(), s.fraction))
          t->millisecond = subSecondMs(*sub);
      return t;
    }
    case Kind::Xmp: {
      const auto text = textOf<Exiv2::XmpData, Exiv2::XmpKey>(image.xmpData(), s.key);
      return text ? parseXmpDate(*text) : std::nullopt;
    }
    case Kind::Iptc: {
      // exiv2 gives these as "YYYY-MM-DD" and "hh:mm:ss±hh:mm".
      const auto date = textOf<Exiv2::IptcData, Exiv2::IptcKey>(image.iptcData(), s.key);
      if (!date) return std::nullopt;
      const auto time = textOf<Exiv2::IptcData, Exiv2::IptcKey>(image.iptcData(), s.fraction);
      return parseXmpDate(time ? *date + "T" + *time : *date);
    }
  }
  return std::nullopt;
}

std::uint32_t ciffNumber(std::string_view b, std::size_t at, bool big, int size) {
  std::uint32_t v = 0;
  for (int i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(b[at + static_cast<std::size_t>(big ? i : size - 1 - i)]);
    v = v << 8 | byte;
  }
  return v;
}

// The bytes of the entry `tag` of a CIFF heap (its table's offset ends it,
// ten bytes an entry).
std::optional<std::string_view> ciffEntry(std::string_view heap, bool big, unsigned tag) {
  if (heap.size() < 6) return std::nullopt;
  const std::size_t table = ciffNumber(heap, heap.size() - 4, big, 4);
  if (table > heap.size() - 6) return std::nullopt;
  const std::size_t count = ciffNumber(heap, table, big, 2);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = table + 2 + i * 10;
    if (at + 10 > heap.size() - 4) return std::nullopt;
    const std::uint32_t id = ciffNumber(heap, at, big, 2);
    if ((id & 0x3fff) != tag) continue;
    if ((id & 0xc000) == 0x4000) return heap.substr(at + 2, 8);  // kept in the entry itself
    const std::size_t size = ciffNumber(heap, at + 2, big, 4), offset = ciffNumber(heap, at + 6, big, 4);
    if (offset > heap.size() || size > heap.size() - offset) return std::nullopt;
    return heap.substr(offset, size);
  }
  return std::nullopt;
}

// Canon's CRW keeps the capture time as seconds since 1970 of the camera's
// clock, as if that were UTC (image properties 0x300a, time stamp 0x180e).
// exiv2 0.27 converts them as the machine's local time: read here instead.
std::optional<platform::LocalTime> crwCaptureTime(std::string_view b) {
  if (b.size() < 14 || (b.substr(0, 2) != "II" && b.substr(0, 2) != "MM") || b.substr(6, 8) != "HEAPCCDR")
    return std::nullopt;
  const bool big = b[0] == 'M';
  const std::size_t start = ciffNumber(b, 2, big, 4);
  if (start > b.size()) return std::nullopt;
  const auto properties = ciffEntry(b.substr(start), big, 0x300a);
  const auto stamp = properties ? ciffEntry(*properties, big, 0x180e) : std::nullopt;
  if (!stamp || stamp->size() < 4) return std::nullopt;
  const std::uint32_t clockSeconds = ciffNumber(*stamp, 0, big, 4);
  if (clockSeconds == 0) return std::nullopt;
  using namespace std::chrono;
  const sys_seconds at{seconds{clockSeconds}};
  const auto day = floor<days>(at);
  const year_month_day ymd{day};
  const hh_mm_ss clock{at - day};
  return platform::LocalTime{static_cast<int>(ymd.year()),
                             static_cast<int>(unsigned(ymd.month())),
                             static_cast<int>(unsigned(ymd.day())),
                             static_cast<int>(clock.hours().count()),
                             static_cast<int>(clock.minutes().count()),
                             static_cast<int>(clock.seconds().count())};
}

// The best date of the bytes: the rank of its source (0 best), or -1 when
// none; `known`: exiv2 took the bytes for an image it reads.
int bestDate(std::string_view bytes, platform::LocalTime& taken, bool& known) {
  known = false;
  try {
    auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.data()),
                                           static_cast<long>(bytes.size()));
    if (!image.get()) return -1;
    known = true;
    image->readMetadata();
    const bool crw = image->imageType() == Exiv2::ImageType::crw;
    for (std::size_t rank = 0; rank < kSources.size(); ++rank) {
      const auto t = crw && rank == 0 ? crwCaptureTime(bytes) : dateFrom(*image, kSources[rank]);
      if (t) {
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
  // "YYYY:MM:DD HH:MM:SS", possibly followed by a NUL or a fraction.
  if (s.size() < 19) return std::nullopt;
  const auto sep = [&](std::size_t at, char a, char b = 0) { return s[at] == a || (b && s[at] == b); };
  if (!sep(4, ':', '-') || !sep(7, ':', '-') || !sep(10, ' ', 'T') || !sep(13, ':') || !sep(16, ':'))
    return std::nullopt;
  const platform::LocalTime t{digits(s, 0, 4),  digits(s, 5, 2),  digits(s, 8, 2),  digits(s, 11, 2),
                              digits(s, 14, 2), digits(s, 17, 2), fractionAt(s, 19)};
  if (!plausible(t)) return std::nullopt;
  return t;
}

std::optional<platform::LocalTime> parseXmpDate(std::string_view s) {
  if (s.size() < 10 || (s[4] != '-' && s[4] != ':') || s[7] != s[4]) return std::nullopt;
  platform::LocalTime t{digits(s, 0, 4), digits(s, 5, 2), digits(s, 8, 2), 0, 0, 0};
  std::size_t end = 10;
  if (s.size() > 10 && (s[10] == 'T' || s[10] == ' ')) {
    if (s.size() < 16 || s[13] != ':') return std::nullopt;
    t.hour = digits(s, 11, 2);
    t.minute = digits(s, 14, 2);
    end = 16;
    if (s.size() > 16 && s[16] == ':') {
      t.second = digits(s, 17, 2);
      t.millisecond = fractionAt(s, 19);
      for (end = 19; end < s.size() && (s[end] == '.' || s[end] == ',' || (s[end] >= '0' && s[end] <= '9'));)
        ++end;
    }
  }
  // What may follow: the zone, as the camera's clock is what is named.
  const std::string_view rest = s.substr(end);
  const bool zone = rest.empty() || rest == "Z" ||
                    ((rest[0] == '+' || rest[0] == '-') && digits(rest, 1, 2) >= 0 &&
                     (rest.size() == 3 || (rest.size() == 6 && rest[3] == ':' && digits(rest, 4, 2) >= 0) ||
                      (rest.size() == 5 && digits(rest, 3, 2) >= 0)));
  if (!zone || !plausible(t)) return std::nullopt;
  return t;
}

int subSecondMs(std::string_view s) {
  std::size_t at = 0;
  while (at < s.size() && s[at] == ' ') ++at;
  int ms = 0, n = 0;
  for (; at < s.size() && s[at] >= '0' && s[at] <= '9'; ++at)
    if (n < 3) ms = ms * 10 + (s[at] - '0'), ++n;
  if (n == 0) return -1;
  for (; n < 3; ++n) ms *= 10;
  return ms;
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
