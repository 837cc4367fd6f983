// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/session.h"

#include "rename/pass_ahead.h"
#include "rename/record_store.h"

#include <algorithm>
#include <climits>
#include <unordered_map>

#include "filelist/add_files.h"
#include "platform/fs.h"
#include "platform/open_file.h"
#include "rules/date_rule.h"
#include "session/messages.h"
#include "tags/formats.h"
#include "tags/id3v2_unicode.h"
#include "tags/media_workers.h"
#include "text/gbtext.h"
#include "text/names.h"

namespace qorin::session {

Session::Session(Places places)
    : places_(std::move(places)),
      records_(std::make_unique<rename::RecordStore>(places_.stateDir)),
      workers_(tags::MediaWorkers::ours()) {
  applyDefaultSettings(settings_);
}

Session::~Session() = default;

void Session::loadSettings() {
  session::loadSettings(settings_, places_.configFile());
  ruleMemory_ = loadRuleMemory(places_.configFile());
  notify(kDisplayChanged);
}

void Session::saveSettings() const {
  session::saveSettings(settings_, places_.configFile());
  saveRuleMemory(ruleMemory_, places_.configFile());
}

Presets& Session::presets() {
  if (!presets_) presets_.emplace(places_.presetsFile());
  return *presets_;
}

void Session::changeSettings(const Settings& s) {
  const Settings before = settings_;
  settings_ = s;
  rules::setCleanup(rule_, {settings_.replaceIllegal, settings_.padTrack});
  const bool names = before.replaceIllegal != s.replaceIllegal || before.padTrack != s.padTrack;
  const bool preview = before.autoPreview != s.autoPreview ||
                       before.previewAllEntries != s.previewAllEntries ||
                       before.previewCount != s.previewCount;
  if (names || preview) refreshPreview(false);
  notify(kDisplayChanged);
}

void Session::settingsChanged() {
  refreshPreview(false);
  notify(kDisplayChanged);
}

int Session::previewedEntries(bool forceAll) const {
  const int count = list_.fileCount();
  if (settings_.autoPreview == 0 || pauses_ > 0 || count == 0) return 0;
  if (forceAll || settings_.previewAllEntries == 1 || rules::coversEveryEntry(rule_)) return count;
  return std::clamp(settings_.previewCount, 0, count);
}

void Session::refreshPreview(bool forceAll) {
  if (settings_.autoPreview == 0 || pauses_ > 0 || list_.fileCount() == 0) return;
  const int n = previewedEntries(forceAll);
  const bool named = applyRule(n);
  list_.fillRows(filelist::kFillNewNames, 0, n - 1, {});
  if (named) rename::markConflicts(list_, n, folders_, stop_);
}

bool Session::markAll() {
  const int n = list_.fileCount();
  if (n == 0) return true;
  const bool named = applyRule(n);
  list_.fillRows(filelist::kFillNewNames, 0, n - 1, {});
  return named && rename::markConflicts(list_, n, folders_, stop_);
}

bool Session::applyRule(int n) {
  return rules::applyRule(list_, std::clamp(n, 0, list_.fileCount()), rule_, {workers_.get(), stop_});
}

void Session::setRule(rules::RuleOptions rule) {
  rule_ = std::move(rule);
  rules::setCleanup(rule_, {settings_.replaceIllegal, settings_.padTrack});
  std::string error = rules::ruleError(rule_);
  if (error == ruleError_) return;
  ruleError_ = std::move(error);
  notify(kCommandsChanged);
}

CommandState Session::commands() const {
  CommandState c = commands_;
  if (!ruleError_.empty()) c.preview = c.rename = false;
  return c;
}

void Session::setCommands(CommandState c) {
  if (c == commands_) return;
  commands_ = c;
  notify(kCommandsChanged);
}

std::string Session::rememberedDirectory() const {
  return filelist::readRememberedDirectory(places_.dirMemoryFile());
}

void Session::finishAdd(const std::vector<filelist::ListedFolder>& listed) {
  folders_.clear();  // new folders, or old ones seen again: list them afresh
  // ...unless they were listed just now.
  for (const filelist::ListedFolder& f : listed) folders_.seed(f.dir, f.identity, f.nameHashes);
  refreshPreview(false);
  CommandState c = commands_;
  c.preview = c.rename = true;
  setCommands(c);
  notify(kCountChanged);
}

namespace {

// A killed tag write leaves a hidden temporary beside its file: nobody's file,
// cleared from each folder files are added from.
void sweepTemporaries(const std::vector<std::string>& dirs) {
  std::vector<std::string_view> seen;
  for (const std::string& d : dirs) {
    if (std::find(seen.begin(), seen.end(), d) != seen.end()) continue;
    seen.push_back(d);
    platform::removeStaleTemporaries(d);
  }
}

// The paths as the system reaches them ("./a", "a//b", a link to a folder:
// one spelling each), so that the list and a pass's record name each
// folder one way. A path that is there but has no such form in the code
// page is left out, a folder named as unreadable and a file counted; one
// whose folder is not there goes on as given, for the listing to tell.
std::vector<std::string> canonicalPaths(const std::vector<std::string>& paths, AddReport& r) {
  std::vector<std::string> out;
  out.reserve(paths.size());
  platform::CanonicalPaths canonical;
  for (const std::string& p : paths) {
    if (auto c = canonical.of(p)) {
      out.push_back(std::move(*c));
    } else if (platform::isDirectory(p)) {
      r.unreadable.push_back(platform::withSeparator(p));
    } else if (platform::exists(p)) {
      ++r.unconvertible;
      r.leftOut.push_back(platform::shownPath(p));
    } else {
      out.push_back(p);
    }
  }
  return out;
}

}  // namespace

AddReport Session::addChosenFiles(const std::vector<std::string>& paths) {
  AddReport r;
  // The dialog gives its choice in an order of its own; the list shows it as a
  // file manager would.
  std::vector<std::string> sorted = canonicalPaths(paths, r);
  if (sorted.empty()) return r;
  const int first = list_.fileCount();
  std::vector<std::string> dirs;
  dirs.reserve(sorted.size());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const std::string& a, const std::string& b) { return text::naturalLess(a, b); });
  for (const std::string& p : sorted) {
    list_.addName(std::string(platform::fileNameOf(p)));
    dirs.emplace_back(platform::directoryOf(p));
  }
  filelist::rememberDirectory(places_.dirMemoryFile(), dirs.front());
  sweepTemporaries(dirs);
  list_.fillRows(filelist::kFillAppend, first, list_.fileCount() - 1, {});
  for (std::size_t i = 0; i < dirs.size(); ++i)
    list_.setDirectory(first + static_cast<int>(i), std::move(dirs[i]));
  r.added = static_cast<int>(sorted.size());
  finishAdd();
  return r;
}

AddReport Session::addFolder(const std::string& given) {
  AddReport r;
  std::vector<filelist::ListedFolder> listed;
  for (const std::string& dir : canonicalPaths({given}, r))
    if (!r.stopped) scanFolder(dir, r, listed);
  finishAdd(listed);
  return r;
}

void Session::scanFolder(const std::string& given, AddReport& r,
                         std::vector<filelist::ListedFolder>& listed) {
  std::string dir = platform::withSeparator(given);
  filelist::ScanOptions options;
  options.subfolders = settings_.includeSubfolders;
  options.maxDepth = subfolderDepth_;
  options.hidden = settings_.includeHidden;
  options.nameHashes = true;
  options.stop = stop_;
  filelist::ScanResult scan = filelist::scanDirectory(list_, dir, options);
  r.stopped = r.stopped || scan.stopped;
  r.added += scan.added;
  r.unconvertible += scan.unconvertible;
  // Nothing at the path is no folder to speak of: it adds nothing, silently.
  if (!scan.readable && scan.error != platform::ListError::Missing) r.unreadable.push_back(dir);
  for (std::string& sub : scan.unreadableFolders) r.unreadable.push_back(std::move(sub));
  for (filelist::ListedFolder& f : scan.listed) listed.push_back(std::move(f));
}

AddReport Session::addDropped(const std::vector<std::string>& given) {
  AddReport r;
  const int first = list_.fileCount();
  std::vector<std::string> dirs, folders;
  for (const std::string& p : canonicalPaths(given, r)) {
    if (platform::isFile(p)) {
      list_.addName(std::string(platform::fileNameOf(p)));
      dirs.emplace_back(platform::directoryOf(p));
    } else {
      folders.push_back(p);
    }
  }
  sweepTemporaries(dirs);
  list_.fillRows(filelist::kFillAppend, first, list_.fileCount() - 1, {});
  for (std::size_t i = 0; i < dirs.size(); ++i)
    list_.setDirectory(first + static_cast<int>(i), std::move(dirs[i]));
  r.added = static_cast<int>(dirs.size());
  // Every folder listed once, and the preview refreshed once, for the whole drop.
  std::vector<filelist::ListedFolder> listed;
  for (const std::string& f : folders)
    if (!r.stopped) scanFolder(f, r, listed);
  finishAdd(listed);
  return r;
}

void Session::removeRows(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  rows.erase(std::remove_if(rows.begin(), rows.end(), [&](int r) { return r < 0 || r >= list_.fileCount(); }),
             rows.end());
  list_.removeRows(rows);
  notify(kCountChanged);
  if (list_.fileCount() == 0) setCommands({});
}

void Session::clearList() {
  list_.clear();
  notify(kCountChanged);
  setCommands({});
}

void Session::sortBy(filelist::Column column, bool descending) {
  const int n = list_.rowCount();
  std::vector<std::string_view> keys(static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r) {
    const filelist::FileEntry e = list_[r];
    std::string_view& k = keys[static_cast<std::size_t>(r)];
    switch (column) {
      case filelist::kColNew:
        k = e.newNameCell;
        break;
      case filelist::kColDir:
        k = e.dir;
        break;
      case filelist::kColStatus:
        k = statusText(e.statusCode);
        break;
      case filelist::kColMp3:
        k = mp3StatusText(e.mp3Code);
        break;
      default:
        k = e.oldName;
    }
  }
  const auto key = [&](int r) { return keys[static_cast<std::size_t>(r)]; };
  std::vector<int> order(static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r) order[static_cast<std::size_t>(r)] = r;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return descending ? text::naturalLess(key(b), key(a)) : text::naturalLess(key(a), key(b));
  });
  list_.reorder(order);
  refreshPreview(false);
}

bool Session::sortByFile(SortKey key) {
  if (key == SortKey::Name) {
    sortBy(filelist::kColOld, false);
    return true;
  }
  const int n = list_.rowCount();
  std::vector<std::int64_t> keys(static_cast<std::size_t>(n));
  const rules::Reading reading{workers_.get(), stop_};
  if (key == SortKey::Taken && !rules::readDatesTakenAhead(list_, reading)) return false;
  for (int r = 0; r < n; ++r) {
    if (stop_ && stop_()) return false;  // each row may be a file read
    std::int64_t& k = keys[static_cast<std::size_t>(r)];
    k = INT64_MAX;
    if (key == SortKey::Taken) {
      platform::LocalTime date;
      filelist::Outcome note;
      // Dates to the millisecond, as names can be; ties keep their order.
      if (rules::dateOf(list_, r, rules::DateSource::Taken, date, note, reading)) k = rules::dateKey(date);
      continue;
    }
    const auto& f = rules::readFacts(list_, r, false);
    if (f.known & filelist::FileList::Facts::kMissing) continue;
    k = key == SortKey::Size ? static_cast<std::int64_t>(f.size) : f.modified;
  }
  std::vector<int> order(static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r) order[static_cast<std::size_t>(r)] = r;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)];
  });
  list_.reorder(order);
  refreshPreview(false);
  return true;
}

void Session::reverseRows() {
  const int n = list_.rowCount();
  std::vector<int> order(static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r) order[static_cast<std::size_t>(r)] = n - 1 - r;
  list_.reorder(order);
  refreshPreview(false);
}

std::vector<int> Session::moveRows(std::vector<int> rows, bool up) {
  const int n = list_.rowCount();
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  rows.erase(std::remove_if(rows.begin(), rows.end(), [&](int r) { return r < 0 || r >= n; }), rows.end());
  std::vector<char> chosen(static_cast<std::size_t>(n), 0);
  for (int r : rows) chosen[static_cast<std::size_t>(r)] = 1;
  std::vector<int> order(static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r) order[static_cast<std::size_t>(r)] = r;
  // Each chosen row trades places with the unchosen neighbour on its side; a
  // block against the edge stays where it is.
  const int step = up ? 1 : -1;
  for (int k = up ? 1 : n - 2; k >= 0 && k < n; k += step) {
    const auto at = static_cast<std::size_t>(k), before = static_cast<std::size_t>(k - step);
    if (chosen[at] && !chosen[before]) {
      std::swap(order[at], order[before]);
      std::swap(chosen[at], chosen[before]);
    }
  }
  if (!rows.empty()) {
    list_.reorder(order);
    refreshPreview(false);
  }
  std::vector<int> now;
  for (int r = 0; r < n; ++r)
    if (chosen[static_cast<std::size_t>(r)]) now.push_back(r);
  return now;
}

int Session::filter(const filelist::FilterOptions& o) {
  const int removed = filelist::applyFilter(list_, o);
  notify(kCountChanged);
  if (list_.fileCount() == 0) {
    CommandState c = commands_;
    c.preview = c.rename = false;  // the undo record outlives the rows
    setCommands(c);
  }
  return removed;
}

ListMenuState Session::listMenu(bool hasSelection, bool mp3Tab) const {
  const bool rows = list_.rowCount() > 0;
  ListMenuState m;
  m.preview = m.filter = m.clear = m.selectAll = m.convertTags = rows;
  m.preview = m.preview && ruleError_.empty();
  m.deleteSelected = m.tagInfo = hasSelection;
  m.deleteUntagged = rows && mp3Tab;
  m.convertNames = rows && list_.anyGbkName();
  return m;
}

namespace {

// Tags name their own problems; the words for them are messages.cpp's.
filelist::Outcome reasonOf(tags::ConversionProblem p) {
  if (p == tags::ConversionProblem::None) return {};
  return {filelist::Severity::Fail, filelist::Producer::TagWrite, static_cast<unsigned>(p)};
}

}  // namespace

PassReport Session::convertTagsToUnicode(const rename::ProgressFn& progress, const rename::StopFn& stop,
                                         std::optional<text::Charset> codePage) {
  std::vector<int> rows, mp3s;
  // Every listed MP3 of a folder speaks for its album, the rows taken again or not.
  std::unordered_map<std::uint32_t, text::Evidence> folders;
  for (int r = 0; r < list_.rowCount(); ++r) {
    if (!tags::repairableTag(list_.oldName(r))) continue;
    mp3s.push_back(r);
    if (codePage && list_[r].statusCode != filelist::Status::ConversionUncertain) continue;
    rows.push_back(r);
    folders.try_emplace(list_.folderOf(r));
  }
  // Weighing reads every tag once more: it may be stopped as the pass may.
  bool stopped = false;
  for (const int r : mp3s) {
    const auto folder = folders.find(list_.folderOf(r));
    if (folder == folders.end()) continue;
    if (stop && stop()) {
      stopped = true;
      break;
    }
    folder->second += tags::fileEvidence(list_[r].diskPath());
  }
  int done = 0, unneeded = 0, failures = 0, uncertain = 0, marks = 0;
  std::size_t k = 0;
  for (; !stopped && k < rows.size() && !(k > 0 && stop && stop()); ++k) {
    const int r = rows[k];
    const tags::ConversionResult c = tags::convertId3v2ToUnicode(list_[r].diskPath(), places_.stateDir,
                                                                 &folders[list_.folderOf(r)], codePage);
    switch (c.outcome) {
      case tags::UnicodeConversion::Converted:
        ++done;
        list_.setStatus(r, filelist::Status::Converted);
        list_.forgetFacts(r);  // its size and modification time changed
        break;
      case tags::UnicodeConversion::NotNeeded:
        ++unneeded;
        list_.setStatus(r, filelist::Status::ConversionNotNeeded);
        break;
      case tags::UnicodeConversion::Failed:
        ++failures;
        list_.setStatus(r, filelist::Status::ConversionFailed, reasonOf(c.problem));
        break;
      case tags::UnicodeConversion::Uncertain:
        ++uncertain;
        list_.setStatus(r, filelist::Status::ConversionUncertain, uncertainText(c.uncertain));
        break;
    }
    const int now = rename::progressMarks(static_cast<int>(k) + 1, static_cast<int>(rows.size()));
    if (now > marks && progress) progress(static_cast<int>(k) + 1, static_cast<int>(rows.size()));
    marks = std::max(marks, now);
  }
  // Not reached: nothing happened to them, and no older status may say otherwise.
  for (std::size_t j = k; j < rows.size(); ++j) list_.setStatus(rows[j], filelist::Status::None);
  PassReport r;
  r.total = static_cast<int>(rows.size());
  r.succeeded = done + unneeded;
  r.stopped = static_cast<int>(rows.size() - k);
  r.kind = PassReport::Kind::TagRepair;
  r.converted = done;
  r.failed = failures;
  r.uncertain = uncertain;
  return r;
}

Session::SystemPaths Session::fromSystemBytes(const std::vector<std::string>& bytes) {
  SystemPaths out;
  for (const std::string& b : bytes) {
    if (auto p = platform::pathFromSystem(b); p && platform::isFile(*p))
      out.files.push_back(std::move(*p));
    else if (platform::isSystemPathDirectory(b))
      out.folders.push_back(platform::escapedBytes(b));
    else
      ++out.skipped;
  }
  return out;
}

std::string Session::recordPath() const { return held_.empty() ? std::string() : held_.back().path; }

}  // namespace qorin::session
