// SPDX-License-Identifier: GPL-3.0-or-later
// Where an installed copy and a portable copy keep config.ini, dir.txt and
// the journal (the Windows side is in windows_platform_test.cpp).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/fs.h"
#include "session/places.h"
#include "temp_dir.h"

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qorin::platform {
namespace {

using qorin::testing::TempDir;

// Sets (or, given nothing, unsets) an environment variable for the test's length.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  }
  ~ScopedVariable() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ProgramPlaces, BesideAPortableCopyPerUserWhenInstalled) {
  TempDir config, state, home, portable, prefix;
  const ScopedVariable c("XDG_CONFIG_HOME", config.dir()), s("XDG_STATE_HOME", state.dir());
  const ScopedVariable h("HOME", home.dir());

  EXPECT_EQ(configDirectoryFor(portable.dir()), portable.dir());
  EXPECT_EQ(stateDirectoryFor(portable.dir()), portable.dir());

  // <prefix>/bin with <prefix>/share/qorin beside it is an installed copy:
  // root may write /usr/bin, yet the files go per user.
  ASSERT_TRUE(createDirectories(prefix.dir() + "bin"));
  ASSERT_TRUE(createDirectories(prefix.dir() + "share/qorin/help"));
  EXPECT_EQ(configDirectoryFor(prefix.dir() + "bin/"), config.dir() + "qorin/");
  EXPECT_EQ(stateDirectoryFor(prefix.dir() + "bin"), state.dir() + "qorin/");
  EXPECT_TRUE(isDirectory(config.dir() + "qorin"));
  EXPECT_EQ(prefix.entryCount(), 2u);  // nothing written beside the program

  // A folder that cannot be written (one that is not there stands in, as
  // root may write any folder).
  EXPECT_EQ(configDirectoryFor(prefix.dir() + "missing/"), config.dir() + "qorin/");
}

TEST(ProgramPlaces, HomeWhenTheVariablesAreUnsetOrRelative) {
  TempDir home, prefix;
  ASSERT_TRUE(createDirectories(prefix.dir() + "bin"));
  ASSERT_TRUE(createDirectories(prefix.dir() + "share/qorin"));
  const ScopedVariable h("HOME", home.dir()), c("XDG_CONFIG_HOME", "relative/config"),
      s("XDG_STATE_HOME", "");
  EXPECT_EQ(configDirectoryFor(prefix.dir() + "bin/"), home.dir() + ".config/qorin/");
  EXPECT_EQ(stateDirectoryFor(prefix.dir() + "bin/"), home.dir() + ".local/state/qorin/");
  EXPECT_TRUE(isDirectory(home.dir() + ".local/state/qorin"));
}

TEST(ProgramPlaces, HomeFromThePasswordDatabaseWhenHomeIsUnsetEmptyOrRelative) {
  const passwd* pw = ::getpwuid(::geteuid());
  ASSERT_NE(pw, nullptr);
  for (const std::optional<std::string>& value : {std::optional<std::string>(), {""}, {"relative/home"}}) {
    const ScopedVariable h("HOME", value);
    EXPECT_EQ(homeDirectory(), withSeparator(pw->pw_dir)) << value.value_or("(unset)");
  }
}

TEST(ProgramPlaces, FolderIsSafeOnlyWhenTheUsersAndClosedToOthers) {
  struct Case {
    const char* what;
    mode_t mode;
    bool foreign, inForeign, safe;
  };
  const Case cases[] = {
      {"the user's", 0755, false, false, true},
      {"group-writable", 0775, false, false, false},
      {"world-writable", 0777, false, false, false},
      {"sticky and world-writable, as /tmp", 01777, false, false, false},
      {"another user's", 0755, true, false, false},
      {"in another user's folder", 0700, false, true, false},
  };
  for (const Case& c : cases) {
    if ((c.foreign || c.inForeign) && ::geteuid() != 0) continue;  // needs a second user
    TempDir t;
    const std::string dir = t.dir() + "qorin";
    ASSERT_TRUE(createDirectories(dir));
    ASSERT_EQ(::chmod(dir.c_str(), c.mode), 0);
    if (c.foreign || c.inForeign) {
      ASSERT_EQ(::chown((c.foreign ? dir : t.dir()).c_str(), 65534, 65534), 0);
    }
    EXPECT_EQ(folderIsSafe(dir), c.safe) << c.what;
    // A link of the user's to the folder counts as the folder.
    std::filesystem::create_directory_symlink(dir, t.path() / "link");
    EXPECT_EQ(folderIsSafe(t.dir() + "link/"), c.safe) << c.what;
  }
  TempDir t;
  EXPECT_FALSE(folderIsSafe(t.dir() + "missing"));
}

// Per-user folders others may write to are neither used nor made safe:
// left empty and named once each; a portable copy in such a folder goes per
// user instead.
TEST(ProgramPlaces, UnsafeFoldersAreRefusedAndNamed) {
  TempDir config, state, home, prefix, portable;
  ASSERT_TRUE(createDirectories(prefix.dir() + "bin"));
  ASSERT_TRUE(createDirectories(prefix.dir() + "share/qorin"));
  const ScopedVariable c("XDG_CONFIG_HOME", config.dir()), s("XDG_STATE_HOME", state.dir()),
      h("HOME", home.dir());
  ASSERT_TRUE(createDirectories(config.dir() + "qorin") && createDirectories(state.dir() + "qorin"));
  ASSERT_EQ(::chmod((config.dir() + "qorin").c_str(), 0777), 0);
  ASSERT_EQ(::chmod((state.dir() + "qorin").c_str(), 01777), 0);

  const session::Places installed = session::Places::forProgram(prefix.dir() + "bin/");
  EXPECT_EQ(installed.configDir, "");
  EXPECT_EQ(installed.stateDir, "");
  EXPECT_EQ(installed.refused, (std::vector<std::string>{config.dir() + "qorin/", state.dir() + "qorin/"}));
  EXPECT_EQ(installed.configFile(), "");

  ASSERT_EQ(::chmod((config.dir() + "qorin").c_str(), 0700), 0);
  ASSERT_EQ(::chmod(portable.dir().c_str(), 0777), 0);
  const session::Places shared = session::Places::forProgram(portable.dir());
  EXPECT_EQ(shared.configDir, config.dir() + "qorin/");
  EXPECT_EQ(shared.refused, std::vector<std::string>{state.dir() + "qorin/"});
  EXPECT_EQ(portable.entryCount(), 0u);
}

// With no home to be had (here one that is a file), an installed copy, or a
// portable one in a folder others may write, has no folder for its files
// rather than its own.
TEST(ProgramPlaces, NoHomeNeverMeansTheProgramFolder) {
  TempDir prefix, portable;
  ASSERT_TRUE(createDirectories(prefix.dir() + "bin"));
  ASSERT_TRUE(createDirectories(prefix.dir() + "share/qorin"));
  ASSERT_EQ(::chmod(portable.dir().c_str(), 0777), 0);
  const ScopedVariable h("HOME", prefix.write("home", "")), c("XDG_CONFIG_HOME", std::nullopt),
      s("XDG_STATE_HOME", std::nullopt);
  for (const std::string& program : {prefix.dir() + "bin/", portable.dir()}) {
    EXPECT_EQ(configDirectoryFor(program), "") << program;
    EXPECT_EQ(stateDirectoryFor(program), "") << program;
    const session::Places places = session::Places::forProgram(program);
    EXPECT_TRUE(places.configDir.empty() && places.stateDir.empty() && places.refused.empty()) << program;
  }
  EXPECT_TRUE(std::filesystem::is_empty(prefix.path() / "bin"));
  EXPECT_EQ(portable.entryCount(), 0u);
}

}  // namespace
}  // namespace qorin::platform
#endif
