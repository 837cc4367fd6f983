// SPDX-License-Identifier: GPL-3.0-or-later
// The working session behind the main window: the file list, the settings,
// the rule of the selected tab, the preview policy, the ways of adding files,
// the renaming pass with its undo, and which commands are available. It knows
// nothing of Qt; the window observes it and mirrors its state in one place.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "filelist/add_files.h"
#include "filelist/file_list.h"
#include "filelist/filter.h"
#include "platform/folder_lock.h"
#include "rename/pass_summary.h"
#include "rename/plan.h"
#include "rename/rename_pass.h"
#include "rules/rule.h"
#include "session/places.h"
#include "session/rule_memory.h"
#include "session/settings.h"
#include "session/sort_key.h"
#include "text/detect.h"

namespace qorin::rename {
class PassAhead;
class RecordStore;
struct HeldRecord;
}  // namespace qorin::rename

namespace qorin::tags {
class MediaWorkers;
}  // namespace qorin::tags

namespace qorin::session {

// Which toolbar buttons can be clicked.
struct CommandState {
  bool undo = false;
  bool preview = false;
  bool rename = false;
  bool operator==(const CommandState&) const = default;
};

// The list's pop-up menu entries.
struct ListMenuState {
  bool preview = false;
  bool filter = false;
  bool deleteSelected = false;
  bool clear = false;
  bool tagInfo = false;
  bool deleteUntagged = false;
  bool selectAll = false;
  bool convertTags = false;
  bool convertNames = false;  // some listed name is kept in the old code page
  bool operator==(const ListMenuState&) const = default;
};

// What a change touched, as bits for the observer.
enum Change : unsigned {
  kCommandsChanged = 1,  // commands()
  kCountChanged = 2,     // the number of entries
  kDisplayChanged = 4,   // the list's colours and font, the preview switch
};

class Observer {
 public:
  virtual ~Observer() = default;
  virtual void sessionChanged(unsigned changes) = 0;
};

// What an add did: entries appended, files left out because their names do
// not fit the code page, and folders that could not be read (a chosen or
// dropped one, or a sub-folder; code page, as given). A path where nothing
// is, or a readable empty folder, is none of these.
struct AddReport {
  int added = 0;
  int unconvertible = 0;             // files left out: their names have no form here
  std::vector<std::string> leftOut;  // those of them whose paths can be told, escaped
  std::vector<std::string> unreadable;
  bool stopped = false;  // the session's stop ended the listing: what came before it stays
};

// Why a pass, an undo or a recovery did nothing at all.
enum class Problem : std::uint8_t {
  None,
  NoRecordFolder,         // no folder could hold the pass's record
  RecordNotWritable,      // the pass's record could not be written (error)
  UndoRecordNotWritable,  // the undo could not add to the record (error)
  RecordDamaged,
  RecordOtherVersion,
  RecordRefused,     // names or folders no file could have: nothing was touched
  FolderBusy,        // another pass, undo or recovery renames in `folder` now
  FolderLockFailed,  // the folders could not be locked (error): nothing was touched
};

// What a pass, an undo, a recovery or a tag repair did, as counts and codes;
// session/messages.h words it.
struct PassReport {
  enum class Kind : std::uint8_t { Rename, Undo, NothingToUndo, TagRepair };
  Kind kind = Kind::Rename;
  int total = 0;
  int succeeded = 0;
  int unchanged = 0;  // a pass: succeeded rows that kept their name, not counted as renamed
  int stopped = 0;    // not reached: the user stopped the pass or the undo
  Problem problem = Problem::None;
  int error = 0;             // the system's error behind the problem
  std::string movedTo;       // where an unusable record was set aside (code page)
  std::string folder;        // FolderBusy: the folder, as the rows or the record show it
  int recordWriteError = 0;  // the pass's record was not written to its end
  // A record damaged on the disk: files it could not read, names left temporary.
  int unreadable = 0;
  std::vector<std::string> temporaries;
  // A tag repair: the succeeded split, and what was left as it was.
  int converted = 0;
  int failed = 0;
  int uncertain = 0;
  // An undo or a rollback: the pass it gave the names of back, and how many
  // of its files are still away (its record stays for another undo).
  std::optional<rename::PassSummary> pass;
  int pending = 0;
  // An undo or a rollback: what became of each file, for a front end that
  // shows them beyond its list.
  std::shared_ptr<const rename::RecordOutcome> files;

  bool recordCut() const { return unreadable > 0 || !temporaries.empty(); }
  bool allSucceeded() const;
};

// What becomes of a pass that was cut short.
enum class CutShort : std::uint8_t {
  RollBack,  // every name back as before the pass
  Keep,      // the new names kept: the record becomes an undo record
  Later,     // left as it is, asked about after the next undo or start
};

// What the records of passes ask of a front end (Session::takeRecords).
struct RecordAsker {
  // The newest pass not yet settled was cut short after renaming `renamed`
  // files. Not given: Later.
  std::function<CutShort(const rename::PassSummary& pass, int renamed)> cutShort;
  // What ending it did.
  std::function<void(const PassReport& r, CutShort how)> recovered;
  // A record that cannot be used (damaged, refused, of another version),
  // now set aside (PassReport::movedTo).
  std::function<void(const PassReport& r)> setAside;
  // Records another user owns, or a records folder others may write to:
  // left alone, named once.
  std::function<void(const std::vector<std::string>& paths)> refused;
  rename::ProgressFn progress;
  // Another run holds a folder the recovery renames in (`busy` names it):
  // waits while `ready`, asked every so often, says no. False gives up: the
  // pass stays cut short, and recovered() is told why. Not given: gives up.
  std::function<bool(const PassReport& busy, const std::function<bool()>& ready)> waitForFolder;
  // A program still running holds the newest record: nothing else is done.
  bool stopAtBusy = false;
};

struct RecordsTaken {
  // The newest record belongs to a program still running: its pass.
  std::optional<rename::PassSummary> busy;
};

// What takes the folder locks ahead of its run: a pass (renameAll,
// convertNamesToUtf8) or an undo (undoLastPass).
enum class Run : std::uint8_t { Pass, Undo };

class Session {
 public:
  explicit Session(Places places);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const Places& places() const { return places_; }
  void setObserver(Observer* o) { observer_ = o; }
  // What the front end's user stops long work with: listing (the add flows),
  // reading files (the rules that read them, the sorts by file) and planning
  // (the preview's marks, the pass's proposals). Asked between files and
  // folders on the caller's thread. A stopped add keeps what it listed; a
  // stopped rule leaves the rows it did not reach failing with 已停止; a
  // sort stopped leaves the order as it was; a pass stopped while its
  // proposals were made renames nothing.
  void setStop(platform::StopFn stop) { stop_ = std::move(stop); }
  const platform::StopFn& stop() const { return stop_; }
  // The media workers that read dates taken and tags for this session's
  // rules and sorts (tags::MediaWorkers::ours), started when first needed
  // and kept while the session lives.
  tags::MediaWorkers& mediaWorkers() { return *workers_; }
  // How many levels of sub-folders an add lists while includeSubfolders is
  // on (-1: all); the command line's, not kept with the settings.
  void setSubfolderDepth(int levels) { subfolderDepth_ = levels; }

  filelist::FileList& list() { return list_; }
  const filelist::FileList& list() const { return list_; }

  Settings& settings() { return settings_; }
  const Settings& settings() const { return settings_; }
  // Loads and saves the rule tabs' fields with the settings.
  void loadSettings();
  void saveSettings() const;
  const RuleMemory& ruleMemory() const { return ruleMemory_; }
  void rememberRules(RuleMemory m) { ruleMemory_ = std::move(m); }
  // The saved presets, read when first asked for.
  Presets& presets();
  // After the settings record was changed: the preview and the display follow.
  void settingsChanged();

  // The rule of the selected tab; refreshPreview and the pass use it.
  // The 选项 menu's clean-up switches are the session's own.
  void setRule(rules::RuleOptions rule);
  // Every change of a setting comes through here: the preview is made again
  // where what it shows depends on the change, and the display is told.
  void changeSettings(const Settings& s);
  const rules::RuleOptions& rule() const { return rule_; }
  // Why the rule cannot run (rules::ruleError), empty when it can. While it
  // cannot, 预览 and 开始命名 are not offered and a pass renames nothing.
  const std::string& ruleError() const { return ruleError_; }

  // Proposals for as many entries as the settings say (all when forced or
  // for a rule that covers every entry), shown in the new-name column.
  // Nothing happens while automatic preview is off or a PreviewPause lives.
  void refreshPreview(bool forceAll);
  // How many entries a refresh covers: 0 when none happens.
  int previewedEntries(bool forceAll) const;
  // Proposals of the first n entries (clamped), not shown. False: stopped.
  bool applyRule(int n);
  // Proposals and marks for every entry whatever the preview settings say:
  // what a pass would do now, for a front end that shows no preview.
  // False: stopped before every row was marked.
  bool markAll();

  // Holds back refreshes while several options change at once.
  class PreviewPause {
   public:
    explicit PreviewPause(Session& s) : s_(s) { ++s_.pauses_; }
    ~PreviewPause() { --s_.pauses_; }
    PreviewPause(const PreviewPause&) = delete;
    PreviewPause& operator=(const PreviewPause&) = delete;

   private:
    Session& s_;
  };

  // The folder the open-file dialog starts in (dir.txt), "" when unknown.
  std::string rememberedDirectory() const;
  // Files chosen in the open-file dialog (full code-page paths): each keeps
  // its own folder, the first file's folder is remembered.
  AddReport addChosenFiles(const std::vector<std::string>& paths);
  // Every file directly in `dir`.
  AddReport addFolder(const std::string& dir);
  // Dropped items: the files first in the given order, then each folder's files.
  AddReport addDropped(const std::vector<std::string>& paths);
  // Dropped paths the system gave as bytes that are not UTF-8: a file named
  // in the old code page becomes a path to add; a folder so named cannot be
  // listed and is named (escaped); anything else is counted.
  struct SystemPaths {
    std::vector<std::string> files, folders;
    int skipped = 0;
  };
  static SystemPaths fromSystemBytes(const std::vector<std::string>& bytes);

  // Rows given in any order; duplicates are ignored.
  void removeRows(std::vector<int> rows);
  void clearList();
  // Rows whose MP3 tag status is shown (non-MP3 or untagged files).
  std::vector<int> untaggedRows() const { return list_.rowsWithMp3Status(); }
  // Sorts the rows by a column's text in natural order (stable; `descending`
  // reverses it); numbering and the preview follow the new order.
  void sortBy(filelist::Column column, bool descending);
  // Sorts the rows by a file's name (as sortBy column 旧文件名), modification
  // time, date taken (the modification time where there is none, as the date
  // rule names it) or size, stable and ascending; files that cannot be looked
  // at go last. Times and sizes are read once per entry. False: stopped,
  // the order as it was.
  bool sortByFile(SortKey key);
  // Puts the rows in the reverse of their order now.
  void reverseRows();
  // Moves the rows given one place up (or down) as blocks; returns where
  // they are now. Rows already at the edge stay.
  std::vector<int> moveRows(std::vector<int> rows, bool up);

  // Filters the list; returns how many entries went.
  int filter(const filelist::FilterOptions& o);

  CommandState commands() const;
  ListMenuState listMenu(bool hasSelection, bool mp3Tab) const;

  // Fresh proposals for every entry, then the planned, journaled pass over
  // the shown rows. `stop`, asked after each file, may end it early: what
  // was done stays recorded and can be undone.
  PassReport renameAll(const rename::ProgressFn& progress = {}, const rename::StopFn& stop = {});
  // For a renameAll that follows at once (the command line): the files'
  // identities are read meanwhile on a helper thread, and the folders'
  // names are taken from the add's listing. Changing the list's names or
  // order in between makes the pass read them itself.
  void readAheadForPass();
  // Gives the files of the last pass their names back, from its record;
  // stopped or partly failed, it can be run again for the rest (files not
  // found stay on offer: their folder may come back). Once every file is
  // back the record goes, and the pass before it is the next to undo.
  PassReport undoLastPass(const rename::ProgressFn& progress = {}, const rename::StopFn& stop = {});
  // The pass undoLastPass would undo, for its question to name.
  std::optional<rename::PassSummary> undoPass() const;
  // Forgets that pass: its record is removed, its files keep the names they
  // have (one cut short is ended as it stands first, so no file keeps a
  // temporary name). Nothing when there was none, or it could not be ended.
  std::optional<rename::PassSummary> forgetLastPass();

  // Rewrites the ID3v2 texts of every listed MP3 file stored in the code
  // page (or any 8-bit encoding) as Unicode; each MP3 row's status tells what
  // became of it. The summary counts MP3 rows only. `stop`, asked after each
  // file, may end it early; the files not reached keep their tags as they were.
  // The unlabelled texts of a folder's MP3s are judged together. With
  // `codePage`, only the rows left 编码无法确定 are taken again, and the texts
  // that stay uncertain are read in that code page (GBK or Big5).
  PassReport convertTagsToUnicode(const rename::ProgressFn& progress = {}, const rename::StopFn& stop = {},
                                  std::optional<text::Charset> codePage = std::nullopt);
  // Renames each listed file whose name is kept in the old code page to the
  // same text in UTF-8, as a pass that 撤消 can undo.
  PassReport convertNamesToUtf8(const rename::ProgressFn& progress = {}, const rename::StopFn& stop = {});

  // The record of this session's last pass (its undo record): the one it
  // made, or the newest left by a program that has ended. Empty: none.
  std::string recordPath() const;
  // What a crash may have left, first at start: tag writes cut short get
  // their files back from the backups. The records follow with takeRecords.
  void start();

  // The records of passes, newest first, as a start (and an undo, for the
  // pass before) takes them: the first call takes over those of programs
  // that have ended; one with nothing left is removed, an unusable one set
  // aside (told), one cut short before it renamed anything closed silently.
  // Then, while the newest pass is one cut short, `ask` says what becomes of
  // it: an older pass is never dealt with before a newer one is settled.
  // The newest undoable one is 撤消's.
  RecordsTaken takeRecords(const RecordAsker& ask);

  // A pass and an undo hold a lock on each folder they rename in (and so
  // does the recovery of a pass cut short), shared with every window and
  // qorin-cli (platform/folder_lock.h). Takes the locks for the next run of
  // `what` without waiting: Problem::FolderBusy, naming the folder, while
  // another holds one; the ones before it stay held, so that trying again
  // waits in line. A run takes them itself when they were not taken first
  // (a busy folder: it does not start), and lets them go when it ends.
  PassReport lockFolders(Run what);
  void unlockFolders() { locks_.reset(); }

 private:
  // Appends a folder's files; what it listed goes to `listed` for finishAdd.
  void scanFolder(const std::string& dir, AddReport& r, std::vector<filelist::ListedFolder>& listed);
  PassReport runPass(rename::PassKind kind, const rename::ProgressFn& progress, const rename::StopFn& stop);
  void notify(unsigned changes) {
    if (observer_ && changes) observer_->sessionChanged(changes);
  }
  void setCommands(CommandState c);
  // The locks for an undo or a recovery from the record at `path`.
  PassReport lockRecord(const std::string& path);
  // The folders to lock, each with its text as the rows or a record show it.
  PassReport takeLocks(std::vector<std::pair<platform::FolderKey, std::string>> folders,
                       PassReport::Kind kind);
  // Refreshes after an add; the folders the add listed need no listing again.
  void finishAdd(const std::vector<filelist::ListedFolder>& listed = {});
  // 撤消 is offered while the record holds files that can be given back.
  void updateUndo();
  // While the newest record is a pass cut short: asks, and ends it.
  void settleNewest(const RecordAsker& ask);
  // The newest record goes when nothing is left in it.
  void dropIfDone();

  Places places_;
  Settings settings_;
  RuleMemory ruleMemory_;
  std::optional<Presets> presets_;
  filelist::FileList list_;
  rules::RuleOptions rule_;
  std::string ruleError_;
  CommandState commands_;        // as the list and the record allow, before the rule's say
  rename::FolderCache folders_;  // names present in the listed folders, for the marks
  std::unique_ptr<rename::RecordStore> records_;
  std::unique_ptr<tags::MediaWorkers> workers_;
  std::unique_ptr<rename::PassAhead> ahead_;    // for the next pass only
  std::vector<rename::HeldRecord> held_;        // records held, oldest first: 撤消 takes the last
  std::optional<platform::FolderLocks> locks_;  // for the run at hand
  bool startScanned_ = false;
  Observer* observer_ = nullptr;
  platform::StopFn stop_;
  int subfolderDepth_ = -1;
  int pauses_ = 0;
};

}  // namespace qorin::session
