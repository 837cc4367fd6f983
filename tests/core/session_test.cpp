// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/session.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include "outcome_codes.h"
#include "platform/fs.h"
#include "platform/open_file.h"
#include "rules/regex_replace.h"
#include "session/start_up.h"
#include "temp_dir.h"
#include "text/gbtext.h"
#include "unreadable_folders.h"

namespace qorin::session {
namespace {

using filelist::FileList;

struct Recorder : Observer {
  unsigned seen = 0;
  int calls = 0;
  void sessionChanged(unsigned changes) override {
    seen |= changes;
    ++calls;
  }
};

std::vector<std::string> oldNames(const FileList& l) {
  std::vector<std::string> out;
  for (int r = 0; r < l.rowCount(); ++r) out.emplace_back(l[r].oldName);
  return out;
}

std::vector<std::string> shownNew(const FileList& l) {
  std::vector<std::string> out;
  for (int r = 0; r < l.rowCount(); ++r) out.emplace_back(l[r].newNameCell);
  return out;
}

rules::GeneralOptions numbering() { return {}; }  // 0, 1, 2 … keeping the extension

TEST(SessionAdd, ChosenFilesComeInNaturalOrderEachWithItsFolder) {
  testing::TempDir home, t;
  std::filesystem::create_directories(t.path() / "a");
  std::filesystem::create_directories(t.path() / "b");
  for (const char* f : {"a/z10.txt", "a/z9.txt", "b/same.txt", "a/same.txt"}) t.write(f, "");
  Session s(Places::in(home.dir()));
  const AddReport r =
      s.addChosenFiles({t.file("a/z10.txt"), t.file("b/same.txt"), t.file("a/z9.txt"), t.file("a/same.txt")});
  EXPECT_EQ(r.added, 4);
  EXPECT_TRUE(r.unreadable.empty());
  // The dialog's own order does not count: the list shows the natural order.
  EXPECT_EQ(oldNames(s.list()), (std::vector<std::string>{"same.txt", "z9.txt", "z10.txt", "same.txt"}));
  // Folders come in the platform's own spelling, whatever the dialog gave.
  const std::string a = t.dir() + "a" + platform::kSeparator, b = t.dir() + "b" + platform::kSeparator;
  EXPECT_EQ(s.list()[0].dir, a);
  EXPECT_EQ(s.list()[3].dir, b);
  // Rows of one folder share its record.
  EXPECT_EQ(s.list()[0].folder, s.list()[2].folder);
  EXPECT_NE(s.list()[0].folder, s.list()[3].folder);
  // The dialog opens next time in the first file's folder.
  EXPECT_EQ(s.rememberedDirectory(), a);
  EXPECT_EQ(home.read("dir.txt"), a + "\r\n");
}

#ifndef _WIN32
// However its folder is spelt, a row names it one way, as a pass's record
// must hold it for the undo to trust it; a name in the old code page keeps
// its bytes.
TEST(SessionAdd, EverySpellingOfAFolderListsItOneWay) {
  testing::TempDir home, t;
  std::filesystem::create_directories(t.path() / "sub" / "deep");
  t.write("sub/a.txt", "");
  const std::string song = "\xB4\xBA\xCC\xEC\xB5\xC4\xB9\xCA\xCA\xC2.mp3";  // 春天的故事.mp3 in GBK
  std::ofstream(t.path() / "sub" / song) << "song";
  const std::string sub = std::filesystem::canonical(t.path()).string() + "/sub/";
  for (const std::string& given : {t.dir() + "sub/.", t.dir() + ".//sub//", t.dir() + "sub/deep/.."}) {
    for (const char* flow : {"folder", "dropped", "chosen"}) {
      SCOPED_TRACE(given + " " + flow);
      Session s(Places::in(home.dir()));
      if (flow == std::string_view("folder")) s.addFolder(given);
      if (flow == std::string_view("dropped")) s.addDropped({given});
      if (flow == std::string_view("chosen"))
        s.addChosenFiles({given + "/a.txt", given + "/" + platform::gbkName(song)});
      ASSERT_EQ(s.list().fileCount(), 2);
      for (int r = 0; r < 2; ++r) EXPECT_EQ(s.list()[r].dir, sub);
      EXPECT_NE(s.list()[0].gbkName, s.list()[1].gbkName);
    }
  }
}
#endif

TEST(SessionAdd, FolderInNameOrderWithUnconvertibleNamesCounted) {
#ifdef _WIN32
  GTEST_SKIP() << "names that are not UTF-8 exist on POSIX file systems only";
#endif
  testing::TempDir home, d;
  for (const char* n : {"b.txt", "A.txt", "c.jpg"}) d.write(n, "");
  d.write("bad\xff.txt", "");  // not UTF-8: no code-page name for it, listed as its bytes
  std::filesystem::create_directory(d.path() / "sub");
  Session s(Places::in(home.dir()));
  const std::string dirWithoutSeparator = d.dir().substr(0, d.dir().size() - 1);
  const AddReport r = s.addFolder(dirWithoutSeparator);
  EXPECT_EQ(r.added, 4);
  EXPECT_EQ(r.unconvertible, 0);
  EXPECT_EQ(oldNames(s.list()), (std::vector<std::string>{"A.txt", "b.txt", "bad\xff.txt", "c.jpg"}));
  EXPECT_TRUE(s.list()[2].rawName);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(s.list()[i].dir, d.dir());
}

TEST(SessionAdd, DroppedFilesComeBeforeTheFoldersFiles) {
  testing::TempDir home, d, e;
  d.write("in-folder.txt", "");
  e.write("loose2.txt", "");
  e.write("loose1.txt", "");
  Session s(Places::in(home.dir()));
  s.addDropped({d.dir(), e.file("loose2.txt"), e.file("loose1.txt")});
  EXPECT_EQ(oldNames(s.list()), (std::vector<std::string>{"loose2.txt", "loose1.txt", "in-folder.txt"}));
  EXPECT_EQ(s.list()[0].dir, e.dir());
  EXPECT_EQ(s.list()[2].dir, d.dir());
}

// The preview after a drop uses what the adding saw: each folder is listed
// once, however many were dropped.
TEST(SessionAdd, ADropOfTenFoldersListsEachOnce) {
  testing::TempDir home;
  std::vector<testing::TempDir> dirs(10);
  std::vector<std::string> paths;
  for (testing::TempDir& d : dirs) {
    d.write("a.txt", "");
    paths.push_back(d.dir());
  }
  Session s(Places::in(home.dir()));
  s.settings().autoPreview = 1;
  s.setRule(numbering());
  int listings = 0;
  platform::setFileFaultHook([&](platform::FileStep step, std::string_view) {
    listings += step == platform::FileStep::List;
    return false;
  });
  s.addDropped(paths);
  platform::setFileFaultHook({});
  EXPECT_EQ(listings, 10);
  EXPECT_EQ(s.list()[9].newNameCell, "9.txt");
}

TEST(SessionAdd, AKilledTagWritesLeftoversGoWhenItsFilesAreAdded) {
  testing::TempDir home, d;
  const std::string leftover = ".qorin-new-2147483600-0000000000000001.tmp";  // its writer has ended
  d.write("song.mp3", "");
  for (const bool dropped : {false, true}) {
    d.write(leftover, "half a tag");
    Session s(Places::in(home.dir()));
    if (dropped) {
      s.addDropped({d.file("song.mp3")});
    } else {
      s.addChosenFiles({d.file("song.mp3")});
    }
    EXPECT_FALSE(std::filesystem::exists(d.path() / leftover)) << dropped;
  }
}

#ifdef __linux__
// A folder that cannot be read is named in the report, as only the folders
// that could not be read are: a path where nothing is, or a readable empty
// folder, adds nothing and says nothing.
TEST(SessionAdd, FoldersThatCannotBeReadAreNamed) {
  testing::TempDir home, t;
  std::filesystem::create_directory(t.path() / "locked");
  t.write("locked/inside.txt", "");
  std::filesystem::create_directory(t.path() / "empty");
  const testing::DeepFolder deep(t.dir());
  ASSERT_TRUE(deep.made());
  const struct {
    const char* what;
    std::string folder;
    bool named;
  } cases[] = {
      {"refused by its permissions", t.dir() + "locked/", true},
      {"longer than the system takes", deep.path(), true},
      {"a name with no form in the system's encoding", t.dir() + "\x81\x30/", true},
      {"nothing there", t.dir() + "missing/", false},
      {"a readable empty folder", t.dir() + "empty/", false},
  };
  ::chmod((t.path() / "locked").c_str(), 0);
  const testing::PermissionsApply permissions;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.folder.ends_with("locked/") && !permissions.ok()) continue;  // no way to refuse root here
    Session s(Places::in(home.dir()));
    const AddReport dropped = s.addDropped({c.folder});
    const AddReport chosen = s.addFolder(c.folder);
    for (const AddReport& r : {dropped, chosen}) {
      EXPECT_EQ(r.added, 0);
      EXPECT_EQ(r.unconvertible, 0);
      EXPECT_EQ(r.unreadable, c.named ? std::vector<std::string>{c.folder} : std::vector<std::string>{});
    }
    EXPECT_EQ(s.list().fileCount(), 0);
  }
  ::chmod((t.path() / "locked").c_str(), 0755);
}

TEST(SessionAdd, SubFoldersThatCannotBeReadAreNamedBesideTheFilesAdded) {
  testing::TempDir home, t;
  t.write("top.txt", "");
  std::filesystem::create_directory(t.path() / "locked");
  t.write("locked/inside.txt", "");
  const testing::PermissionsApply permissions;
  if (!permissions.ok()) GTEST_SKIP() << "no way to refuse root here";
  ::chmod((t.path() / "locked").c_str(), 0);
  Session s(Places::in(home.dir()));
  s.settings().includeSubfolders = true;
  const AddReport r = s.addFolder(t.dir());
  ::chmod((t.path() / "locked").c_str(), 0755);
  EXPECT_EQ(r.added, 1);
  EXPECT_EQ(r.unreadable, std::vector<std::string>{t.dir() + "locked/"});
}
#endif

struct GatingCase {
  const char* what;
  int autoPreview, previewAll, previewCount;
  bool mp3Rule, forced;
  int expected;
};

TEST(SessionPreview, GatingTable) {
  const GatingCase cases[] = {
      {"automatic preview off", 0, 0, 10, false, false, 0},
      {"off even when forced", 0, 1, 10, false, true, 0},
      {"count 0", 1, 0, 0, false, false, 0},
      {"count 10 of 25", 1, 0, 10, false, false, 10},
      {"count above the list", 1, 0, 40, false, false, 25},
      {"negative count", 1, 0, -5, false, false, 0},
      {"all entries", 1, 1, 10, false, false, 25},
      {"forced by the preview button", 1, 0, 10, false, true, 25},
      {"the MP3 rule always covers all", 1, 0, 3, true, false, 25},
  };
  testing::TempDir home, d;
  for (int i = 0; i < 25; ++i) d.write("f" + std::to_string(100 + i) + ".txt", "");
  for (const GatingCase& c : cases) {
    SCOPED_TRACE(c.what);
    Session s(Places::in(home.dir()));
    s.addFolder(d.dir());
    s.settings().autoPreview = c.autoPreview;
    s.settings().previewAllEntries = c.previewAll;
    s.settings().previewCount = c.previewCount;
    if (c.mp3Rule) {
      s.setRule(rules::Mp3Options{});
    } else {
      s.setRule(numbering());
    }
    EXPECT_EQ(s.previewedEntries(c.forced), c.expected);
    s.refreshPreview(c.forced);
    if (c.mp3Rule) continue;  // the MP3 rule proposes nothing for text files
    const std::vector<std::string> cells = shownNew(s.list());
    for (int r = 0; r < 25; ++r) EXPECT_EQ(cells[static_cast<std::size_t>(r)].empty(), r >= c.expected) << r;
  }
}

// The 选项 menu's 替换非法字符 is the session's: a change of it alone makes
// the preview again with the rule the tab gave.
TEST(SessionPreview, TheCleanupSwitchesReachTheRuleThroughTheSession) {
  testing::TempDir home, d;
  d.write("a.txt", "");
  Session s(Places::in(home.dir()));
  s.settings().autoPreview = 1;
  rules::ReplaceOptions o;
  o.search = "a";
  o.replacement = "x:y";
  o.regex = true;
  s.setRule(o);  // the tab's options carry no clean-up of their own
  s.addFolder(d.dir());
  EXPECT_EQ(s.list()[0].newNameCell, "x_y.txt");
  Settings off = s.settings();
  off.replaceIllegal = false;
  s.changeSettings(off);
  EXPECT_EQ(s.list()[0].newNameCell, "x:y.txt");
}

TEST(SessionPreview, APauseHoldsBackRefreshes) {
  testing::TempDir home, d;
  d.write("a.txt", "");
  Session s(Places::in(home.dir()));
  s.settings().autoPreview = 1;
  s.setRule(numbering());
  s.addFolder(d.dir());
  rules::GeneralOptions o;
  o.namePrefix = "x";
  {
    Session::PreviewPause pause(s);
    s.setRule(o);
    s.refreshPreview(false);
    EXPECT_EQ(s.list()[0].newNameCell, "0.txt");
  }
  s.refreshPreview(false);
  EXPECT_EQ(s.list()[0].newNameCell, "x0.txt");
}

// The front end's stop ends listing, reading and planning where it came:
// the folders after it are not listed, the rows after it not named, the
// order stays, and a pass whose proposals it cut renames nothing.
TEST(SessionStop, ListingReadingAndPlanningEndWhereTheStopCame) {
  testing::TempDir home, t;
  for (const char* f : {"top/1.txt", "top/a/2.txt", "top/b/3.txt", "top/c/4.txt"}) {
    std::filesystem::create_directories((t.path() / f).parent_path());
    t.write(f, "");
  }
  Session s(Places::in(home.dir()));
  int asked = 0, stopAt = INT_MAX;
  s.setStop([&] { return ++asked >= stopAt; });
  Settings settings = s.settings();
  settings.includeSubfolders = true;
  s.changeSettings(settings);
  stopAt = 3;  // asked before top/, a/, then b/
  EXPECT_TRUE(s.addFolder(t.dir() + "top").stopped);
  EXPECT_EQ(oldNames(s.list()), (std::vector<std::string>{"1.txt", "2.txt"}));

  stopAt = INT_MAX;
  s.clearList();
  EXPECT_FALSE(s.addFolder(t.dir() + "top").stopped);
  s.setRule(rules::DateOptions{});
  stopAt = asked + 3;  // asked before each row's file; names wait for every date
  EXPECT_FALSE(s.applyRule(4));
  const FileList& l = s.list();
  for (int r = 0; r < 4; ++r) {
    EXPECT_TRUE(l[r].newName.empty());
    EXPECT_EQ(l[r].proposalProblem, codes::Stopped);
  }

  const std::vector<std::string> order = oldNames(l);
  stopAt = asked + 2;
  EXPECT_FALSE(s.sortByFile(SortKey::Size));
  EXPECT_EQ(oldNames(l), order);

  stopAt = asked + 1;
  const PassReport r = s.renameAll();
  EXPECT_EQ(r.succeeded, 0);
  EXPECT_EQ(r.stopped, 4);
  for (const char* f : {"top/1.txt", "top/a/2.txt", "top/b/3.txt", "top/c/4.txt"})
    EXPECT_TRUE(std::filesystem::exists(t.path() / f)) << f;
  EXPECT_FALSE(s.commands().undo);
}

TEST(SessionCommands, StateThroughAddPassUndoFilterAndClear) {
  testing::TempDir home, d;
  d.write("a.txt", "1");
  d.write("b.txt", "2");
  Session s(Places::in(home.dir()));
  Recorder seen;
  s.setObserver(&seen);
  s.setRule(numbering());
  using C = CommandState;
  EXPECT_EQ(s.commands(), (C{false, false, false}));

  testing::TempDir empty;
  s.addFolder(empty.dir());  // even an empty folder makes the buttons available
  EXPECT_EQ(s.commands(), (C{false, true, true}));
  EXPECT_TRUE(seen.seen & kCommandsChanged);

  s.addFolder(d.dir());
  const PassReport pass = s.renameAll();
  EXPECT_EQ(pass.succeeded, 2);
  EXPECT_TRUE(pass.allSucceeded());
  EXPECT_EQ(s.commands(), (C{true, true, true}));

  const PassReport undo = s.undoLastPass();
  EXPECT_EQ(undo.succeeded, 2);
  EXPECT_EQ(s.commands(), (C{false, true, true}));
  EXPECT_EQ(d.read("a.txt"), "1");

  s.renameAll();
  filelist::FilterOptions keepNothing;
  keepNothing.operation = filelist::FilterOperation::Keep;
  keepNothing.text = "jpg";
  s.filter(keepNothing);
  // Filtering to empty keeps the undo record.
  EXPECT_EQ(s.commands(), (C{true, false, false}));

  s.addFolder(d.dir());
  s.removeRows({1, 0, 1});
  EXPECT_EQ(s.list().fileCount(), 0);
  EXPECT_EQ(s.commands(), (C{false, false, false}));

  s.addFolder(d.dir());
  s.clearList();
  EXPECT_EQ(s.commands(), (C{false, false, false}));
  s.setObserver(nullptr);
}

TEST(SessionCommands, ARuleThatCannotRunWithholdsPreviewAndRenameUntilMended) {
  testing::TempDir home, d;
  d.write("a.txt", "1");
  Session s(Places::in(home.dir()));
  Recorder seen;
  s.setObserver(&seen);
  rules::ReplaceOptions bad{"([a-z", "x"};
  bad.regex = true;
  s.setRule(bad);
  EXPECT_EQ(s.ruleError(), rules::regexError("([a-z", false));
  s.addFolder(d.dir());  // the rows come, the buttons stay off
  EXPECT_FALSE(s.commands().preview || s.commands().rename);
  EXPECT_FALSE(s.listMenu(false, false).preview);
  EXPECT_EQ(s.renameAll().succeeded, 0);
  EXPECT_EQ(s.list().proposalFailure(0), codes::BadPattern);
  EXPECT_EQ(d.read("a.txt"), "1");

  seen.seen = 0;
  rules::ReplaceOptions mended = bad;
  mended.search = "([a-z])";
  s.setRule(mended);
  EXPECT_EQ(s.ruleError(), "");
  EXPECT_TRUE(s.commands().preview && s.commands().rename);
  EXPECT_TRUE(seen.seen & kCommandsChanged);
  s.setObserver(nullptr);
}

TEST(SessionCommands, ListMenuFollowsRowsSelectionAndTab) {
  testing::TempDir home, d;
  Session s(Places::in(home.dir()));
  EXPECT_EQ(s.listMenu(false, true), ListMenuState{});
  d.write("a.mp3", "");
  s.addFolder(d.dir());
  const ListMenuState m = s.listMenu(true, false);
  EXPECT_TRUE(m.preview && m.filter && m.clear && m.selectAll && m.deleteSelected && m.tagInfo);
  EXPECT_FALSE(m.deleteUntagged);
  EXPECT_TRUE(s.listMenu(false, true).deleteUntagged);
  EXPECT_FALSE(s.listMenu(false, true).tagInfo);
}

TEST(SessionSettings, LoadAndSaveGoThroughTheGivenPlaces) {
  testing::TempDir home;
  Session s(Places::in(home.dir()));
  Recorder seen;
  s.setObserver(&seen);
  s.loadSettings();  // no file: defaults, nothing written
  EXPECT_EQ(s.settings(), defaultSettings());
  EXPECT_TRUE(seen.seen & kDisplayChanged);
  EXPECT_FALSE(std::filesystem::exists(home.path() / "config.ini"));
  s.settings().previewCount = 7;
  s.saveSettings();
  Session t(Places::in(home.dir()));
  t.loadSettings();
  EXPECT_EQ(t.settings().previewCount, 7);
  s.setObserver(nullptr);
}

// Every front end starts through startSession: the settings read, and the
// refused folders said once, one a line, or nothing said.
TEST(SessionStart, SettingsReadAndRefusedFoldersSaidOnce) {
  testing::TempDir home;
  {
    Session first(Places::in(home.dir()));
    first.settings().previewCount = 7;
    first.saveSettings();
  }
  const struct {
    std::vector<std::string> refused;
    std::vector<std::string> said;
  } cases[] = {
      {{}, {}},
      {{"/srv/shared/qorin/", "/tmp/qorin/"},
       {text::gb("以下文件夹不属于当前用户或其他用户可以写入，程序不会在其中保存设置和更名记录：\n"
                 "/srv/shared/qorin/\n/tmp/qorin/")}},
  };
  for (const auto& c : cases) {
    Places places = Places::in(home.dir());
    places.refused = c.refused;
    Session s(places);
    std::vector<std::string> said;
    startSession(s, [&](const std::string& words) { said.push_back(words); });
    EXPECT_EQ(said, c.said);
    EXPECT_EQ(s.settings().previewCount, 7);
  }
}

}  // namespace
}  // namespace qorin::session
