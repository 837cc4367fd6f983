// SPDX-License-Identifier: GPL-3.0-or-later
// What only the Windows build does: built for Windows only, run under wine.
// Wine cannot show: code page 54936 (it has none, so the program's own
// tables run), folders denied by ACLs (it runs as the Unix user), names
// holding lone surrogates, NTFS itself (case folding, the 260-character
// limit, which wine does not enforce, sharing violations, durability).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "outcome_codes.h"
#include "platform/fs.h"
#include "platform/open_file.h"
#include "platform/record_file.h"
#include "rename/plan.h"
#include "rename/rename_pass.h"
#include "rename_test_util.h"
#include "session/places.h"
#include "session/session.h"
#include "temp_dir.h"
#include "text/gbtext.h"

namespace qorin::platform {
namespace {

using qorin::testing::TempDir;
using Files = std::map<std::string, std::string>;

TEST(WindowsPaths, BothSeparatorsAndNeverATrailByte) {
  const std::string cheng = "\xD5\x5C";  // 誠: its second byte is "\"
  struct Case {
    std::string path, dir, name;
  } const cases[] = {
      {"C:\\a\\b.mp3", "C:\\a\\", "b.mp3"},
      {"C:/a/b.mp3", "C:/a/", "b.mp3"},
      {"C:\\a/b\\c", "C:\\a/b\\", "c"},
      {"C:\\" + cheng + "\\" + cheng + ".mp3", "C:\\" + cheng + "\\", cheng + ".mp3"},
      {"C:\\d\\" + cheng, "C:\\d\\", cheng},
      {"b.mp3", "", "b.mp3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(directoryOf(c.path), c.dir) << c.path;
    EXPECT_EQ(fileNameOf(c.path), c.name) << c.path;
  }
  EXPECT_EQ(withSeparator("C:\\a"), "C:\\a\\");
  EXPECT_EQ(withSeparator("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(withSeparator("C:/a/"), "C:/a/");
  EXPECT_EQ(withSeparator("C:\\" + cheng), "C:\\" + cheng + "\\");
}

TEST(WindowsPaths, WidePathsTakeThePrefix) {
  struct Case {
    std::string path;
    std::wstring wide;
  } const cases[] = {
      {"C:\\a\\b", LR"(\\?\C:\a\b)"},         {"C:/a//b/", LR"(\\?\C:\a\b\)"},
      {"C:\\a\\..\\b", LR"(\\?\C:\b)"},       {"\\\\server\\share\\x", LR"(\\?\UNC\server\share\x)"},
      {"C:\\a\\name.", LR"(\\?\C:\a\name.)"},  // kept as it is, not stripped
      {"\\\\?\\C:\\x", LR"(\\?\C:\x)"},
  };
  for (const Case& c : cases) EXPECT_EQ(widePath(c.path), c.wide) << c.path;
  EXPECT_FALSE(widePath(std::string("C:\\a\0b", 7)));
  EXPECT_FALSE(widePath("C:\\\x81"));  // half a character
}

// Device names and names Windows would cut short: the platform refuses
// them as the planner does, whatever the case or the extension.
TEST(WindowsNames, ReservedAndCutNamesAreRefused) {
  TempDir t;
  const std::string refused[] = {"CON", "con.txt", "Nul ", "aux.tar.gz", "COM1", "lpt9.mp3", "PRN",  "a.",
                                 "a ",  "a:b",     "a?b",  "a*b",        "a<b",  "a|b",      "a\"b", "a\tb"};
  const std::string taken[] = {"CONSOLE.txt", "COM10", "LPT0", "nul1", "a.b", " a", ".a"};
  const Folder f(t.dir());
  for (const std::string& name : refused) {
    t.write("src", "x");
    EXPECT_EQ(renameNoReplace(t.dir() + "src", t.dir() + name), RenameResult::Failed) << name;
    const Folder::Outcome o = f.rename("src", name);
    EXPECT_EQ(o.result, RenameResult::Failed) << name;
    EXPECT_EQ(o.error, ERROR_INVALID_NAME) << name;
    EXPECT_EQ(rename::nameProblem(name, rename::NameRules{}), ::codes::IllegalName) << name;
    EXPECT_EQ(t.entryCount(), 1u) << name;
  }
  for (const std::string& name : taken) {
    t.write("src", "x");
    EXPECT_EQ(renameNoReplace(t.dir() + "src", t.dir() + name), RenameResult::Renamed) << name;
    EXPECT_EQ(rename::nameProblem(name, rename::NameRules{}), rename::Outcome{}) << name;
    EXPECT_EQ(t.read(name), "x") << name;
  }
}

TEST(WindowsRename, NeverReplacesAndChangesCaseInPlace) {
  TempDir t;
  t.write("a.txt", "A");
  t.write("b.txt", "B");
  EXPECT_EQ(renameNoReplace(t.dir() + "a.txt", t.dir() + "b.txt"), RenameResult::TargetExists);
  EXPECT_EQ(renameNoReplace(t.dir() + "a.txt", t.dir() + "B.TXT"), RenameResult::TargetExists);
  EXPECT_EQ(Folder(t.dir()).rename("a.txt", "b.txt").result, RenameResult::TargetExists);
  EXPECT_EQ(t.read("a.txt"), "A");
  EXPECT_EQ(t.read("b.txt"), "B");

  // A case-only change names the file itself: it goes through a name of its
  // own and leaves nothing behind.
  EXPECT_EQ(renameNoReplace(t.dir() + "a.txt", t.dir() + "A.Txt"), RenameResult::Renamed);
  EXPECT_EQ(listFiles(t.dir()).names, (std::vector<std::string>{"A.Txt", "b.txt"}));
  EXPECT_EQ(t.read("A.Txt"), "A");
  EXPECT_EQ(renameNoReplace(t.dir() + "missing", t.dir() + "c"), RenameResult::SourceMissing);

  // A second link of the same file is a taken name (wine would move over it).
  ASSERT_TRUE(CreateHardLinkW(widePath(t.dir() + "link.txt")->c_str(), widePath(t.dir() + "b.txt")->c_str(),
                              nullptr));
  EXPECT_EQ(renameNoReplace(t.dir() + "b.txt", t.dir() + "link.txt"), RenameResult::TargetExists);
  EXPECT_EQ(t.entryCount(), 3u);
}

// While a pass holds a folder, no one can move it (or a folder above it) and
// put another in its place; the files in it still rename, and once it is
// let go the folder moves again.
TEST(WindowsFolders, AFolderHeldOpenStaysWhereItIs) {
  TempDir t;
  std::filesystem::create_directories(t.path() / "outer" / "work");
  t.write("outer/work/a.txt", "A");
  const std::wstring outer = *widePath(t.dir() + "outer"), work = *widePath(t.dir() + "outer\\work");
  {
    const Folder f(t.dir() + "outer\\work");
    ASSERT_TRUE(f.isOpen());
    EXPECT_FALSE(MoveFileExW(work.c_str(), (work + L".moved").c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(f.rename("a.txt", "b.txt").result, RenameResult::Renamed);
    // Windows keeps the folders above as well; wine does not.
    if (MoveFileExW(outer.c_str(), (outer + L".moved").c_str(), 0)) {
      ASSERT_TRUE(MoveFileExW((outer + L".moved").c_str(), outer.c_str(), 0));
    }
  }
  EXPECT_TRUE(MoveFileExW(work.c_str(), (work + L".moved").c_str(), 0));
  EXPECT_EQ(t.read("outer/work.moved/b.txt"), "A");
}

class WindowsPass : public rename::testing::RenameDir {};

TEST_F(WindowsPass, CaseOnlyChangesApplyAndComeBack) {
  filelist::FileList list = listOf({"song.mp3", "b.MP3", "c.mp3"});
  propose(list, {"Song.mp3", "b.mp3", "B.MP3"});
  const rename::PassOutcome p = rename::renamePass(list, journal_);
  EXPECT_EQ(p.succeeded, 2);
  EXPECT_EQ(list[2].statusReason, ::codes::SameAsEarlier);  // b.mp3 and B.MP3 are one name
  EXPECT_EQ(files(), (Files{{"Song.mp3", "content of song.mp3"},
                            {"b.mp3", "content of b.MP3"},
                            {"c.mp3", "content of c.mp3"}}));
  const rename::RecordOutcome u = rename::undoLastPass(journal_);
  EXPECT_EQ(u.restored, 2);
  EXPECT_EQ(files(), (Files{{"song.mp3", "content of song.mp3"},
                            {"b.MP3", "content of b.MP3"},
                            {"c.mp3", "content of c.mp3"}}));
}

// Past 260 characters every call goes through the \\?\ prefix.
TEST(WindowsLongPaths, EveryCallWorksPastTheOldLimit) {
  TempDir t;
  std::string dir = t.dir();
  for (int i = 0; i < 3; ++i) dir += std::string(90, static_cast<char>('a' + i)) + "\\";
  dir += "\xD2\xF4\xC0\xD6\\";  // 音乐
  ASSERT_GT(dir.size(), 300u);
  ASSERT_TRUE(createDirectories(dir));
  EXPECT_TRUE(isDirectory(dir));
  EXPECT_TRUE(isWritableDirectory(dir));
  ASSERT_TRUE(writeFileAtomic(dir + "a.mp3", "0123456789"));
  EXPECT_EQ(readFile(dir + "a.mp3", 100), "0123456789");
  EXPECT_TRUE(touchFile(dir + "b.txt"));
  EXPECT_EQ(renameNoReplace(dir + "b.txt", dir + "a.mp3"), RenameResult::TargetExists);
  EXPECT_EQ(renameNoReplace(dir + "b.txt", dir + "c.txt"), RenameResult::Renamed);
  const Folder f(dir);
  ASSERT_TRUE(f.isOpen());
  EXPECT_EQ(f.rename("c.txt", "d.txt").result, RenameResult::Renamed);
  EXPECT_TRUE(f.identityOf("d.txt"));
  EXPECT_EQ(listFiles(dir).names, (std::vector<std::string>{"a.mp3", "d.txt"}));

  OpenFile file(dir + "a.mp3", OpenMode::ReadWrite);
  ASSERT_TRUE(file.replaceRange(0, 2, "AB"));
  file.close();
  EXPECT_EQ(readFile(dir + "a.mp3", 100), "AB23456789");

  RecordWriter j;
  ASSERT_TRUE(j.create(dir + "state\\journal"));
  ASSERT_TRUE(j.write("plan\n"));
  ASSERT_TRUE(j.commit());
  j.close();
  EXPECT_EQ(readFile(dir + "state\\journal", 100), "plan\n");
}

TEST(WindowsListing, LeavesOutNamesWithoutACodePageForm) {
  TempDir t;
  t.write("ok.txt", "");
  t.write("\xE9\x9F\xB3.txt", "");  // 音 in UTF-8
  // A lone surrogate is a valid NTFS name but no character at all.
  const std::wstring lone = widePath(t.dir())->append(L"bad\xD800.txt");
  HANDLE h = CreateFileW(lone.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) GTEST_SKIP() << "this file system takes no lone surrogate (wine's does not)";
  CloseHandle(h);
  const DirectoryListing l = listFiles(t.dir());
  EXPECT_TRUE(l.ok);
  EXPECT_EQ(l.names, (std::vector<std::string>{"ok.txt", "\xD2\xF4.txt"}));
  EXPECT_EQ(l.unconvertible, 1);
}

// The folder shown in 路径 is the Windows one, with "\".
TEST(WindowsListing, AddedFilesShowTheirFolderWithBackslashes) {
  TempDir home, d;
  d.write("a.txt", "");
  session::Session s(session::Places::in(home.dir()));
  const std::string withoutSeparator = d.dir().substr(0, d.dir().size() - 1);
  s.addFolder(withoutSeparator);
  ASSERT_EQ(s.list().fileCount(), 1);
  EXPECT_EQ(s.list()[0].dir, withoutSeparator + "\\");
  EXPECT_EQ(d.dir().back(), '\\');
}

TEST(WindowsFolders, ProgramFolderAndPerUserFiles) {
  const std::string prog = programDirectory();
  ASSERT_FALSE(prog.empty());
  EXPECT_EQ(prog.back(), '\\');
  EXPECT_TRUE(isFile(prog + "core_tests.exe"));  // GetModuleFileNameW's answer

  TempDir appData, localAppData, portable, installed;
  const auto setVariable = [](const wchar_t* name, const std::string& ascii) {
    return _wputenv_s(name, std::wstring(ascii.begin(), ascii.end()).c_str()) == 0;
  };
  const wchar_t* oldAppData = _wgetenv(L"APPDATA");
  const wchar_t* oldLocal = _wgetenv(L"LOCALAPPDATA");
  const std::wstring savedAppData = oldAppData ? oldAppData : L"", savedLocal = oldLocal ? oldLocal : L"";
  ASSERT_TRUE(setVariable(L"APPDATA", appData.dir()));
  ASSERT_TRUE(setVariable(L"LOCALAPPDATA", localAppData.dir()));

  // Beside a portable program that may write its folder.
  EXPECT_EQ(configDirectoryFor(portable.dir()), portable.dir());
  EXPECT_EQ(stateDirectoryFor(portable.dir()), portable.dir());
  // Per user where the folder is not writable (wine cannot deny a folder
  // to a user, so a folder that is not there stands in) ...
  EXPECT_EQ(configDirectoryFor("Q:\\Program Files\\Qorin\\"), appData.dir() + "qorin\\");
  EXPECT_EQ(stateDirectoryFor("Q:\\Program Files\\Qorin\\"), localAppData.dir() + "qorin\\");
  EXPECT_TRUE(isDirectory(appData.dir() + "qorin"));
  // ... and where the program is installed with its data in ..\share\qorin.
  ASSERT_TRUE(createDirectories(installed.dir() + "bin"));
  ASSERT_TRUE(createDirectories(installed.dir() + "share\\qorin"));
  EXPECT_EQ(configDirectoryFor(installed.dir() + "bin\\"), appData.dir() + "qorin\\");
  // With no per-user folder to be had, none: never the program's own.
  EXPECT_TRUE(setVariable(L"APPDATA", "") && setVariable(L"LOCALAPPDATA", ""));
  EXPECT_EQ(configDirectoryFor(installed.dir() + "bin\\"), "");
  EXPECT_EQ(stateDirectoryFor(installed.dir() + "bin\\"), "");

  _wputenv_s(L"APPDATA", savedAppData.c_str());
  _wputenv_s(L"LOCALAPPDATA", savedLocal.c_str());
}

TEST(WindowsTagFiles, HardLinkedFileIsLeftAlone) {
  TempDir t;
  t.write("a.mp3", "0123");
  ASSERT_TRUE(
      CreateHardLinkW(widePath(t.dir() + "b.mp3")->c_str(), widePath(t.dir() + "a.mp3")->c_str(), nullptr));
  OpenFile f(t.dir() + "a.mp3", OpenMode::ReadWrite);
  EXPECT_FALSE(f.replaceRange(0, 1, "X"));  // a new file would part the two names
  f.close();
  EXPECT_EQ(t.read("a.mp3"), "0123");
  EXPECT_EQ(t.read("b.mp3"), "0123");
}

TEST(WindowsTagFiles, StaleTemporariesOfEndedProcessesGo) {
  TempDir t;
  const std::string mine = ".qorin-new-" + std::to_string(GetCurrentProcessId()) + "-0000000000000001.tmp";
  t.write(".qorin-new-2147483600-0000000000000002.tmp", "left by a process that ended");
  t.write(mine, "being written");
  t.write(".qorin-0123456789abcdef.tmp", "a rename's name, never removed here");
  t.write("song.mp3", "");
  EXPECT_EQ(removeStaleTemporaries(t.dir()), 1);
  EXPECT_EQ(listFiles(t.dir()).names,
            (std::vector<std::string>{".qorin-0123456789abcdef.tmp", mine, "song.mp3"}));
}

TEST(WindowsText, ConversionsRoundTripWithOrWithoutCodePage54936) {
  const std::string gb = "\xD2\xF4\xC0\xD6 \xD5\x5C \x95\x32\x82\x36";  // 音乐 誠 𠀀
  const auto utf8 = text::gbToUtf8(gb);
  ASSERT_TRUE(utf8);
  EXPECT_EQ(*utf8, "\xE9\x9F\xB3\xE4\xB9\x90 \xE8\xAA\xA0 \xF0\xA0\x80\x80");
  EXPECT_EQ(text::utf8ToGb(*utf8), gb);
  const auto utf16 = text::gbToUtf16(gb);
  ASSERT_TRUE(utf16);
  EXPECT_EQ(text::utf16ToGb(*utf16, false), gb);
  EXPECT_FALSE(text::utf16ToGb(std::string("\x00\xD8", 2), false));  // a lone surrogate
  EXPECT_FALSE(text::utf8ToGb("\xC3"));
  EXPECT_EQ(text::latin1ToGb("Bj\xF6rk"), text::gb("Björk"));
  EXPECT_FALSE(errorText(ERROR_FILE_NOT_FOUND).empty());
  EXPECT_NE(errorText(ERROR_FILE_NOT_FOUND).back(), '\n');
}

}  // namespace
}  // namespace qorin::platform
