// Where an installed copy and a portable copy keep config.ini, dir.txt and
// the journal (the Windows side is in windows_platform_test.cpp).
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/fs.h"
#include "temp_dir.h"

#ifndef _WIN32
namespace qorin::platform {
namespace {

using qorin::testing::TempDir;

// Sets an environment variable for the test's length.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
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

}  // namespace
}  // namespace qorin::platform
#endif
