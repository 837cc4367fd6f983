#include "session/session.h"

#include <algorithm>

#include "filelist/add_files.h"
#include "platform/fs.h"

namespace qorin::session {

Session::Session(Places places) : places_(std::move(places)) { applyDefaultSettings(settings_); }

void Session::loadSettings() {
  session::loadSettings(settings_, places_.configFile());
  notify(kDisplayChanged);
}

void Session::saveSettings() const { session::saveSettings(settings_, places_.configFile()); }

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
  applyRule(n);
  list_.fillRows(filelist::kFillNewNames, 0, n - 1, {});
}

void Session::applyRule(int n) { rules::applyRule(list_, std::clamp(n, 0, list_.fileCount()), rule_); }

void Session::setCommands(CommandState c) {
  if (c == commands_) return;
  commands_ = c;
  notify(kCommandsChanged);
}

std::string Session::rememberedDirectory() const {
  return filelist::readRememberedDirectory(places_.dirMemoryFile());
}

void Session::finishAdd(int first) {
  refreshPreview(false);
  CommandState c = commands_;
  c.preview = c.rename = true;
  setCommands(c);
  notify(kCountChanged);
  (void)first;
}

AddReport Session::addChosenFiles(const std::vector<std::string>& paths) {
  AddReport r;
  if (paths.empty()) return r;
  const int first = list_.fileCount();
  std::vector<std::string> dirs;
  dirs.reserve(paths.size());
  for (const std::string& p : paths) {
    list_.addName(std::string(platform::fileNameOf(p)));
    dirs.emplace_back(platform::directoryOf(p));
  }
  filelist::rememberDirectory(places_.dirMemoryFile(), dirs.front());
  list_.fillRows(filelist::kFillAppend, first, list_.fileCount() - 1, {});
  for (std::size_t i = 0; i < dirs.size(); ++i)
    list_.setDirectory(first + static_cast<int>(i), std::move(dirs[i]));
  r.added = static_cast<int>(paths.size());
  finishAdd(first);
  return r;
}

AddReport Session::addFolder(const std::string& given) {
  std::string dir = platform::withSeparator(given);
  const int first = list_.fileCount();
  const filelist::ScanResult scan = filelist::scanDirectory(list_, dir);
  list_.fillRows(filelist::kFillAppend | filelist::kFillDirectory, first, list_.fileCount() - 1, dir);
  finishAdd(first);
  return {scan.added, scan.unconvertible};
}

AddReport Session::addDropped(const std::vector<std::string>& paths) {
  AddReport r;
  const int first = list_.fileCount();
  std::vector<std::string> dirs, folders;
  for (const std::string& p : paths) {
    if (platform::isFile(p)) {
      list_.addName(std::string(platform::fileNameOf(p)));
      dirs.emplace_back(platform::directoryOf(p));
    } else {
      folders.push_back(p);
    }
  }
  list_.fillRows(filelist::kFillAppend, first, list_.fileCount() - 1, {});
  for (std::size_t i = 0; i < dirs.size(); ++i)
    list_.setDirectory(first + static_cast<int>(i), std::move(dirs[i]));
  r.added = static_cast<int>(dirs.size());
  finishAdd(first);
  for (const std::string& f : folders) {
    const AddReport more = addFolder(f);
    r.added += more.added;
    r.unconvertible += more.unconvertible;
  }
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
  m.preview = m.filter = m.clear = m.selectAll = rows;
  m.deleteSelected = m.tagInfo = hasSelection;
  m.deleteUntagged = rows && mp3Tab;
  return m;
}

PassReport Session::renameAll(const rename::ProgressFn& progress) {
  PassReport r;
  CommandState c = commands_;
  c.preview = false;  // nothing may refresh the proposals while the pass runs
  setCommands(c);
  applyRule(list_.fileCount());  // fresh names for every entry, whatever the preview covers
  r.succeeded = rename::renamePass(list_, progress);
  r.total = list_.fileCount();
  r.summary = rename::renameSummary(r.total, r.succeeded);
  c.preview = c.undo = true;
  setCommands(c);
  return r;
}

PassReport Session::undoLastPass(const rename::ProgressFn& progress) {
  PassReport r;
  r.succeeded = rename::undoLastPass(list_, progress);
  r.total = list_.fileCount();
  r.summary = rename::undoSummary(r.total, r.succeeded);
  CommandState c = commands_;
  c.undo = false;
  setCommands(c);
  return r;
}

}  // namespace qorin::session
