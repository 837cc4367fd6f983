// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/video_date.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/open_file.h"

#ifdef QORIN_HAVE_AVFORMAT
extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/version.h>
}
#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#endif

namespace qorin::tags {

namespace {

// Enough to tell the containers apart: a transport stream shows its second
// packet's sync byte at 188 (196 with the 4-byte time stamps of .m2ts).
constexpr std::size_t kSniff = 200;

constexpr std::array<std::string_view, 25> kVideoExtensions = {
    "3g2",  "3gp", "asf", "avi", "dv",  "flv", "m2t", "m2ts", "m4v", "mkv",  "mod", "mov", "mp4",
    "mpeg", "mpg", "mts", "mxf", "ogv", "qt",  "tod", "ts",   "vob", "webm", "wmv", "wtv"};

// ISO base media files that are still pictures (HEIF, AVIF, JPEG 2000,
// Canon's CR3): their EXIF is exiv2's.
constexpr std::array<std::string_view, 17> kPictureBrands = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                                             "hevm", "hevs", "mif1", "msf1", "avif", "avis",
                                                             "avio", "crx ", "jp2 ", "jpx ", "jpm "};

bool hasVideoExtension(std::string_view path) {
  const auto slash = path.find_last_of("/\\");
  const auto dot = path.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return false;
  std::string ext(path.substr(dot + 1));
  if (ext.size() > 4) return false;
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return std::find(kVideoExtensions.begin(), kVideoExtensions.end(), ext) != kVideoExtensions.end();
}

bool startsWith(std::string_view s, std::size_t at, std::string_view what) {
  return s.size() >= at + what.size() && s.substr(at, what.size()) == what;
}

int digits(std::string_view s, std::size_t at, std::size_t n) {
  if (at + n > s.size()) return -1;
  int v = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return -1;
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
}

#ifdef QORIN_HAVE_AVFORMAT
constexpr int kBuffer = 64 * 1024;

// libavformat brings a hundred libraries (codecs, TLS, X11) that take longer
// to load than a thousand photos take to read: they are loaded when the
// first video is read, not when the program or a media worker starts.
struct Avformat {
  decltype(&av_malloc) malloc;
  decltype(&av_free) free;
  decltype(&av_freep) freep;
  decltype(&av_strdup) strdup;
  decltype(&av_dict_get) dictGet;
  decltype(&avio_alloc_context) ioAlloc;
  decltype(&avio_context_free) ioFree;
  decltype(&avformat_alloc_context) alloc;
  decltype(&avformat_open_input) openInput;
  decltype(&avformat_close_input) closeInput;
};

template <class F>
bool symbol(void* library, const char* name, F& to) {
  to = reinterpret_cast<F>(::dlsym(library, name));
  return to != nullptr;
}

// Null when the libraries this was built against are not there.
const Avformat* avformat() {
  static const std::optional<Avformat> loaded = []() -> std::optional<Avformat> {
    // The major versions built against: their ABI is the headers'.
    void* util = ::dlopen("libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
    void* format =
        util ? ::dlopen("libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL)
             : nullptr;
    if (!format) return std::nullopt;
    Avformat a{};
    decltype(&av_log_set_level) setLevel = nullptr;
    if (!symbol(util, "av_log_set_level", setLevel) || !symbol(util, "av_malloc", a.malloc) ||
        !symbol(util, "av_free", a.free) || !symbol(util, "av_freep", a.freep) ||
        !symbol(util, "av_strdup", a.strdup) || !symbol(util, "av_dict_get", a.dictGet) ||
        !symbol(format, "avio_alloc_context", a.ioAlloc) || !symbol(format, "avio_context_free", a.ioFree) ||
        !symbol(format, "avformat_alloc_context", a.alloc) ||
        !symbol(format, "avformat_open_input", a.openInput) ||
        !symbol(format, "avformat_close_input", a.closeInput))
      return std::nullopt;
    setLevel(AV_LOG_QUIET);  // damaged files are ours to judge
    return a;                // loaded for good: never closed
  }();
  return loaded ? &*loaded : nullptr;
}

struct Reader {
  platform::OpenFile* file;
  std::uint64_t length;
  std::uint64_t at = 0;
  std::string bytes;
  bool failed = false;  // a read error, not the file's end
};

int readPacket(void* opaque, std::uint8_t* to, int n) {
  auto& r = *static_cast<Reader*>(opaque);
  if (!r.file->readAt(r.at, static_cast<std::size_t>(n), r.bytes)) {
    r.failed = true;
    return AVERROR(EIO);
  }
  if (r.bytes.empty()) return AVERROR_EOF;
  std::memcpy(to, r.bytes.data(), r.bytes.size());
  r.at += r.bytes.size();
  return static_cast<int>(r.bytes.size());
}

std::int64_t seekTo(void* opaque, std::int64_t offset, int whence) {
  auto& r = *static_cast<Reader*>(opaque);
  const auto length = static_cast<std::int64_t>(r.length);
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return length;
    case SEEK_SET:
      break;
    case SEEK_CUR:
      offset += static_cast<std::int64_t>(r.at);
      break;
    case SEEK_END:
      offset += length;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (offset < 0) return AVERROR(EINVAL);
  r.at = static_cast<std::uint64_t>(offset);
  return offset;
}

// A demuxer never opens another file (a playlist's, a reference's): only
// the one opened through the platform is read.
int refuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

// Which entries say when, best first: Apple's own clock; Matroska's recorded
// date; the creation time (QuickTime/MP4 and Matroska in UTC, AVI's IDIT as
// the camera's clock); AVI's ICRD; MXF's identification date.
constexpr std::array<const char*, 5> kKeys = {"com.apple.quicktime.creationdate", "DATE_RECORDED",
                                              "creation_time", "date", "modification_date"};

// Containers whose headers are read; anything else probing finds is refused.
constexpr const char* kFormats = "mov,avi,matroska,mpegts,asf,dv,mxf,mpeg,flv";

PhotoDateRead dateFromAvformat(platform::OpenFile& f, platform::LocalTime& taken) {
  const Avformat* av = avformat();
  if (!av) return PhotoDateRead::NoDate;  // as a build without it
  const auto length = f.length();
  if (!length) return PhotoDateRead::Unreadable;
  Reader reader{&f, *length, 0, {}, false};
  auto* buffer = static_cast<unsigned char*>(av->malloc(kBuffer));
  AVIOContext* io = buffer ? av->ioAlloc(buffer, kBuffer, 0, &reader, readPacket, nullptr, seekTo) : nullptr;
  if (!io) {
    av->free(buffer);
    return PhotoDateRead::NoDate;
  }
  AVFormatContext* fc = av->alloc();
  PhotoDateRead result = PhotoDateRead::NoDate;
  if (fc) {
    fc->pb = io;
    fc->flags |= AVFMT_FLAG_CUSTOM_IO;
    fc->io_open = refuseOpen;
    fc->format_whitelist = av->strdup(kFormats);
    if (av->openInput(&fc, nullptr, nullptr, nullptr) == 0) {
      for (const char* key : kKeys) {
        const AVDictionaryEntry* e = av->dictGet(fc->metadata, key, nullptr, 0);
        if (const auto t = e ? parseVideoDate(e->value) : std::nullopt) {
          taken = *t;
          result = PhotoDateRead::Found;
          break;
        }
      }
      av->closeInput(&fc);
    }  // on failure avformat_open_input has freed the context
  }
  av->freep(&io->buffer);
  av->ioFree(&io);
  return reader.failed && result != PhotoDateRead::Found ? PhotoDateRead::Unreadable : result;
}
#endif

}  // namespace

bool looksLikeVideo(std::string_view h) {
  if (startsWith(h, 4, "ftyp")) {
    const std::string_view brand = h.size() >= 12 ? h.substr(8, 4) : std::string_view{};
    return std::find(kPictureBrands.begin(), kPictureBrands.end(), brand) == kPictureBrands.end();
  }
  for (std::string_view atom : {"moov", "mdat", "wide", "free", "skip", "pnot"})
    if (startsWith(h, 4, atom)) return true;  // QuickTime before ftyp existed
  if (startsWith(h, 0, "RIFF") && startsWith(h, 8, "AVI ")) return true;
  static constexpr char kEbml[] = "\x1a\x45\xdf\xa3";
  static constexpr char kAsf[] = "\x30\x26\xb2\x75\x8e\x66\xcf\x11\xa6\xd9\x00\xaa\x00\x62\xce\x6c";
  static constexpr char kMxf[] = "\x06\x0e\x2b\x34\x02\x05\x01\x01";
  static constexpr char kMpegPs[] = "\x00\x00\x01\xba";
  if (startsWith(h, 0, {kEbml, 4}) || startsWith(h, 0, {kAsf, 16}) || startsWith(h, 0, {kMxf, 8}) ||
      startsWith(h, 0, {kMpegPs, 4}) || startsWith(h, 0, "FLV\x01"))
    return true;
  const auto sync = [&](std::size_t a, std::size_t b) { return h.size() > b && h[a] == 'G' && h[b] == 'G'; };
  if (sync(0, 188) || sync(4, 196)) return true;  // MPEG transport stream, .mts/.m2ts
  return startsWith(h, 0, {"\x1f\x07\x00", 3});   // a DV frame's header block
}

std::optional<platform::LocalTime> parseVideoDate(std::string_view s) {
  bool utc = false;
  if (startsWith(s, 0, "UTC ")) {
    utc = true;
    s.remove_prefix(4);
  }
  if (s.size() < 19) return std::nullopt;
  const auto at = [&](std::size_t i, char a, char b = 0) { return s[i] == a || (b && s[i] == b); };
  if (!at(4, '-') || !at(7, '-') || !at(10, ' ', 'T') || !at(13, ':') || !at(16, ':')) return std::nullopt;
  platform::LocalTime t{digits(s, 0, 4),  digits(s, 5, 2),  digits(s, 8, 2),
                        digits(s, 11, 2), digits(s, 14, 2), digits(s, 17, 2)};
  // 1904 and 1970 are what an unset QuickTime or Unix time reads as.
  if (t.year <= 1970 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour < 0 || t.hour > 23 ||
      t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 60)
    return std::nullopt;
  std::string_view rest = s.substr(19);
  if (startsWith(rest, 0, ".")) {
    rest.remove_prefix(1);
    while (!rest.empty() && rest[0] >= '0' && rest[0] <= '9') rest.remove_prefix(1);
  }
  if (rest == " UTC" || rest == "Z") utc = true;
  if (!utc) return t;  // an offset, or none: the clock the file states
  const std::int64_t seconds =
      daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  return platform::localTime(seconds);
}

std::optional<PhotoDateRead> readVideoDate(std::string_view diskPath, platform::LocalTime& taken) {
  const bool byName = hasVideoExtension(diskPath);
  platform::OpenFile f(diskPath, platform::OpenMode::Read);
  std::string head;
  if (!f.isOpen() || !f.readAt(0, kSniff, head)) {
    if (byName) return PhotoDateRead::Unreadable;
    return std::nullopt;  // the photo's reading says so
  }
  if (!byName && !looksLikeVideo(head)) return std::nullopt;
#ifdef QORIN_HAVE_AVFORMAT
  return dateFromAvformat(f, taken);
#else
  (void)taken;
  return PhotoDateRead::NoDate;
#endif
}

}  // namespace qorin::tags
