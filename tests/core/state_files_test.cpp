// SPDX-License-Identifier: GPL-3.0-or-later
// config.ini and dir.txt when something else than the program's own file
// stands at their names, and when there is no folder for them at all.
#include <gtest/gtest.h>

#include <filesystem>

#include "filelist/add_files.h"
#include "platform/ini.h"
#include "session/session.h"
#include "temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qorin::session {
namespace {

namespace fs = std::filesystem;
using qorin::testing::TempDir;

// No folder for config.ini and dir.txt (refused, or none to be had):
// defaults, and nothing written anywhere, the working folder included.
TEST(StateFiles, NoConfigFolderReadsDefaultsAndWritesNothing) {
  TempDir cwd, music;
  music.write("a.mp3", "");
  const fs::path before = fs::current_path();
  fs::current_path(cwd.path());
  {
    Session s(Places{});
    s.loadSettings();
    EXPECT_EQ(s.settings(), defaultSettings());
    s.settings().previewCount = 37;
    s.saveSettings();
    EXPECT_EQ(s.addChosenFiles({music.file("a.mp3")}).added, 1);
    EXPECT_EQ(s.rememberedDirectory(), "");
  }
  fs::current_path(before);
  EXPECT_EQ(cwd.entryCount(), 0u);
}

#ifndef _WIN32

fs::file_type typeAt(const fs::path& p) { return fs::symlink_status(p).type(); }

// A FIFO (which would block a reader with no writer) or a folder at either
// name: defaults, no remembered folder, and saving leaves it as it is.
TEST(StateFiles, SpecialFilesAreRefusedWithoutWaiting) {
  using enum fs::file_type;
  struct Case {
    const char* name;
    fs::file_type type;
  };
  for (const Case c :
       {Case{"config.ini", fifo}, {"dir.txt", fifo}, {"config.ini", directory}, {"dir.txt", directory}}) {
    SCOPED_TRACE(c.name);
    TempDir home, music;
    const fs::path at = home.path() / c.name;
    if (c.type == fifo) {
      ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0);
    } else {
      fs::create_directory(at);
    }
    music.write("a.mp3", "");
    Session s(Places::in(home.dir()));
    s.loadSettings();
    EXPECT_EQ(s.settings(), defaultSettings());
    EXPECT_EQ(s.rememberedDirectory(), "");
    s.settings().previewCount = 37;
    s.saveSettings();
    s.addChosenFiles({music.file("a.mp3")});
    EXPECT_EQ(typeAt(at), c.type);
    EXPECT_EQ(home.entryCount(), 2u);  // the other file, and no temporary left
  }
}

// A config.ini link (as dotfile managers make) is followed when it and its
// target are the user's; another's is read as unreadable and never written.
TEST(StateFiles, ConfigLinkFollowedOnlyWhenItAndItsTargetAreTheUsers) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a link to another user";
  constexpr uid_t kMe = 0, kOther = 65534;
  struct Case {
    const char* what;
    uid_t link, target;
    bool dangling, followed;
  };
  const Case cases[] = {
      {"the user's", kMe, kMe, false, true},
      {"another's link", kOther, kMe, false, false},
      {"another's target", kMe, kOther, false, false},
      {"another's dangling link", kOther, kMe, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    fs::create_directory(t.path() / "dotfiles");
    const fs::path link = t.path() / "config.ini", target = t.path() / "dotfiles/config.ini";
    if (!c.dangling) {
      t.write("dotfiles/config.ini", "[a]\nb=c\n");
      ASSERT_EQ(::chown(target.c_str(), c.target, c.target), 0);
    }
    fs::create_symlink("dotfiles/config.ini", link);
    ASSERT_EQ(::lchown(link.c_str(), c.link, c.link), 0);
    platform::IniFile ini(link.string());
    EXPECT_EQ(ini.get("a", "b", "default"), c.followed ? "c" : "default");
    ini.set("a", "b", "d");
    EXPECT_EQ(ini.save(), c.followed);
    EXPECT_EQ(typeAt(link), fs::file_type::symlink);
    EXPECT_EQ(fs::exists(target), !c.dangling);
    if (!c.dangling) {
      EXPECT_EQ(t.read("dotfiles/config.ini"), c.followed ? "[a]\nb=d\r\n" : "[a]\nb=c\n");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(t.path() / "dotfiles"), {}), c.dangling ? 0 : 1);
  }
}

// dir.txt is never followed: a link there, dangling or not, is left as it
// is, nothing is made at its target, and no folder is remembered.
TEST(StateFiles, DirMemoryLinkIsNeverFollowed) {
  for (const bool dangling : {true, false}) {
    SCOPED_TRACE(dangling ? "dangling" : "to a file");
    TempDir home, elsewhere;
    if (!dangling) elsewhere.write("dir.txt", "/music/\r\n");
    fs::create_symlink(elsewhere.path() / "dir.txt", home.path() / "dir.txt");
    EXPECT_EQ(filelist::readRememberedDirectory(home.dir() + "dir.txt"), "");
    filelist::rememberDirectory(home.dir() + "dir.txt", "/other/");
    EXPECT_EQ(typeAt(home.path() / "dir.txt"), fs::file_type::symlink);
    EXPECT_EQ(elsewhere.entryCount(), dangling ? 0u : 1u);
    if (!dangling) {
      EXPECT_EQ(elsewhere.read("dir.txt"), "/music/\r\n");
    }
    EXPECT_EQ(home.entryCount(), 1u);
  }
}

#endif

}  // namespace
}  // namespace qorin::session
