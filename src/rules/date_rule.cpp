// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/date_rule.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "rules/media_rows.h"
#include "tags/photo_date.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::rules {

using filelist::FileList;
using Facts = FileList::Facts;

namespace {

void appendNumber(std::string& out, int v, int width) {
  const std::string n = std::to_string(v);
  if (static_cast<int>(n.size()) < width) out.append(static_cast<std::size_t>(width) - n.size(), '0');
  out += n;
}

std::int64_t floorSeconds(std::int64_t ns) {
  constexpr std::int64_t kNs = 1000000000;
  return ns >= 0 ? ns / kNs : -((-ns + kNs - 1) / kNs);
}

// Names this platform's file systems take as one, in one folder, as one key.
// Names that differ only in the case of A to Z meet too: photos live on FAT
// and exFAT cards, which take them as one name on every system.
std::uint64_t nameKey(std::uint32_t folder, std::string_view name) {
  return std::hash<std::string>{}(text::asciiUpper(name)) ^
         (static_cast<std::uint64_t>(folder) * 0x9E3779B97F4A7C15ull);
}

}  // namespace

std::string formatDate(std::string_view format, const platform::LocalTime& t) {
  struct Token {
    std::string_view letters;
    int value;
    int width;  // 0: a fraction of the second, its trailing zeros dropped
  };
  const int ms = t.millisecond < 0 ? 0 : t.millisecond;
  const std::array<Token, 9> tokens = {{{"yyyy", t.year, 4},
                                        {"yy", t.year % 100, 2},
                                        {"MM", t.month, 2},
                                        {"dd", t.day, 2},
                                        {"HH", t.hour, 2},
                                        {"mm", t.minute, 2},
                                        {"ss", t.second, 2},
                                        {"zzz", ms, 3},
                                        {"z", ms, 0}}};
  std::string out;
  for (std::size_t i = 0; i < format.size();) {
    const Token* hit = nullptr;
    for (const Token& k : tokens)
      if (format.substr(i, k.letters.size()) == k.letters) {
        hit = &k;
        break;
      }
    if (hit) {
      if (hit->width > 0) {
        appendNumber(out, hit->value, hit->width);
      } else {  // as Qt writes "z": 500 is "5", 50 is "05", none is "0"
        std::string digits;
        appendNumber(digits, hit->value, 3);
        while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
        out += digits;
      }
      i += hit->letters.size();
      continue;
    }
    const std::size_t n = std::max<std::size_t>(1, text::charLength(format, i));
    out.append(format.substr(i, n));
    i += n;
  }
  return out;
}

std::int64_t dateKey(const platform::LocalTime& t) {
  // Days from 1970-01-01 of a proleptic Gregorian date.
  const int y = t.year - (t.month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (t.month + (t.month > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
  const std::int64_t seconds = days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  return seconds * 1000 + std::max(t.millisecond, 0);
}

namespace {

// The date taken as a worker read it, into the row's facts; a read that was
// stopped leaves them as they were, to be read when next asked.
void takeDate(Facts& f, const tags::DateAnswer& a) {
  f.failed = reasonOf(a.failure);
  if (a.failure == tags::MediaFailure::Stopped) return;
  f.known |= Facts::kTaken;
  if (a.failure != tags::MediaFailure::None || a.read == tags::PhotoDateRead::Unreadable) {
    f.known |= Facts::kMissing;
  } else if (a.read == tags::PhotoDateRead::Found) {
    f.taken = a.taken;
    f.known |= Facts::kHasTaken;
  }
}

}  // namespace

const Facts& readFacts(FileList& list, int row, bool taken, const Reading& reading) {
  Facts& f = list.facts(row);
  const bool needTaken = taken && !(f.known & Facts::kTaken);
  if ((f.known & Facts::kTimes) && !needTaken) return f;
  if (needTaken && !(f.known & Facts::kMissing)) {
    const tags::MediaFile file = mediaFileOf(list, row);
    tags::DateAnswer a;
    std::unique_ptr<tags::MediaWorkers> here;
    workersOf(reading, here).readDates({&file, 1}, {&a, 1});
    takeDate(f, a);
    // The times wait until something asks for them: a photo named by its
    // date taken needs none.
    if ((f.known & Facts::kHasTaken) || a.failure == tags::MediaFailure::Stopped) return f;
  }
  if (!(f.known & Facts::kTimes)) {
    f.known |= Facts::kTimes;
    if (const auto t = platform::fileTimes(list[row].diskPath())) {
      f.size = t->size;
      f.modified = t->modified;
      if (t->created) {
        f.created = *t->created;
        f.known |= Facts::kHasBirth;
      }
    } else {
      f.known |= Facts::kMissing;
    }
  }
  return f;
}

bool readDatesTakenAhead(FileList& list, const Reading& reading) {
  // A part at a time, so that a list of a million files holds no more than
  // this many requests and answers at once.
  constexpr std::size_t kPart = 4096;
  std::vector<int> rows;
  for (int r = 0; r < list.fileCount(); ++r)
    if (!(list.facts(r).known & (Facts::kTaken | Facts::kMissing))) rows.push_back(r);
  std::vector<tags::MediaFile> files;
  std::vector<tags::DateAnswer> answers;
  std::unique_ptr<tags::MediaWorkers> here;
  tags::MediaWorkers& workers = workersOf(reading, here);
  for (std::size_t from = 0; from < rows.size(); from += kPart) {
    const std::size_t n = std::min(kPart, rows.size() - from);
    // The files first: the workers see no part of the list.
    files.clear();
    for (std::size_t i = 0; i < n; ++i) files.push_back(mediaFileOf(list, rows[from + i]));
    answers.assign(n, {});
    workers.readDates(files, answers, reading.stop);
    bool stopped = false;
    for (std::size_t i = 0; i < n; ++i) {
      takeDate(list.facts(rows[from + i]), answers[i]);
      stopped |= answers[i].failure == tags::MediaFailure::Stopped;
    }
    if (stopped) return false;
  }
  return true;
}

bool dateOf(FileList& list, int row, DateSource source, platform::LocalTime& date, filelist::Outcome& note,
            const Reading& reading) {
  const Facts& f = readFacts(list, row, source == DateSource::Taken, reading);
  note = filelist::Outcome{};
  if (source == DateSource::Taken && !f.failed.none()) {
    note = f.failed;
    return false;
  }
  if (f.known & Facts::kMissing) return false;
  if (source == DateSource::Taken && (f.known & Facts::kHasTaken)) {
    date = f.taken;
    return true;
  }
  std::int64_t ns = f.modified;
  if (source == DateSource::Created && (f.known & Facts::kHasBirth))
    ns = f.created;
  else if (source != DateSource::Modified)
    note = source == DateSource::Taken ? why::NoDateTaken : why::NoBirthTime;
  const std::int64_t seconds = floorSeconds(ns);
  const auto local = platform::localTime(seconds);
  if (!local) return false;
  date = *local;
  date.millisecond = static_cast<int>((ns - seconds * 1000000000) / 1000000);
  return true;
}

bool dateRule(FileList& list, const DateOptions& o, const Reading& reading) {
  const int count = list.fileCount();
  if (o.format.empty()) {
    for (int i = 0; i < count; ++i) list.setNewName(i, {});
    return true;
  }
  std::vector<int> order(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) order[static_cast<std::size_t>(i)] = i;
  const auto stopped = [&] {
    for (int i = 0; i < count; ++i) list.setProposalProblem(i, why::Stopped);
    return false;
  };
  if (o.source == DateSource::Taken && !readDatesTakenAhead(list, reading)) return stopped();
  // Names that meet are numbered by their dates (a burst by its sub-seconds),
  // equal dates in list order.
  std::vector<std::int64_t> keys(static_cast<std::size_t>(count), INT64_MAX);
  // Each row may be a file read (its times, or a date taken not read
  // ahead). Names wait for every date, as they are numbered in date order.
  for (int i = 0; i < count; ++i) {
    if (reading.stop && reading.stop()) return stopped();
    platform::LocalTime date;
    filelist::Outcome note;
    if (dateOf(list, i, o.source, date, note, reading)) keys[static_cast<std::size_t>(i)] = dateKey(date);
  }
  if (!std::is_sorted(keys.begin(), keys.end()))
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)];
    });
  std::string separator = o.separator;
  if (o.cleanup.replaceIllegal) replaceIllegalChars(separator);
  std::unordered_set<std::uint64_t> taken;
  std::unordered_map<std::uint64_t, int> nextNumber;  // per name that came twice
  for (std::size_t at = 0; at < order.size(); ++at) {
    const int i = order[at];
    platform::LocalTime date;
    filelist::Outcome note;
    if (!dateOf(list, i, o.source, date, note, reading)) {
      list.setProposalProblem(i, !note.none() ? note : why::Unreadable);
      continue;
    }
    std::string stamp = formatDate(o.format, date);
    if (o.cleanup.replaceIllegal) replaceIllegalChars(stamp);
    const std::string old(list.oldName(i));  // the list's view may move as names are written
    const text::NameParts parts = text::splitName(old);
    std::string main;
    switch (o.place) {
      case DatePlace::Replace:
        main = stamp;
        break;
      case DatePlace::Before:
        main = stamp + separator + std::string(parts.main);
        break;
      case DatePlace::After:
        main = std::string(parts.main) + separator + stamp;
        break;
    }
    const std::uint32_t folder = list.folderOf(i);
    std::string name = main + std::string(parts.ext);
    const std::uint64_t base = nameKey(folder, name);
    if (!taken.insert(base).second) {
      int& n = nextNumber.try_emplace(base, 1).first->second;
      do {
        name = main + "_" + std::to_string(n++) + std::string(parts.ext);
      } while (!taken.insert(nameKey(folder, name)).second);
    }
    list.setNewName(i, name, note);
  }
  return true;
}

}  // namespace qorin::rules
