// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/ini.h"
#include "temp_dir.h"
#include "text/gbtext.h"

namespace qorin::platform {
namespace {

using text::gb;
namespace fs = std::filesystem;

const std::string kUtf8Bom = "\xEF\xBB\xBF";

// Reads `file` (raw bytes as written), sets one existing and one new key of
// Chinese names and saves; returns the file afterwards.
std::string editOnce(const testing::TempDir& t, const std::string& file, IniFile::Encoding* seen = nullptr,
                     std::string* value = nullptr) {
  t.write("c.ini", file);
  IniFile ini(t.dir() + "c.ini");
  if (seen) *seen = ini.encoding();
  if (value) *value = ini.get(gb("字体"), gb("字体名称"), "?");
  ini.set(gb("字体"), gb("字体大小"), "12");
  ini.set(gb("更名选项"), gb("音轨号补零"), gb("开"));
  EXPECT_TRUE(ini.save());
  return t.read("c.ini");
}

TEST(IniEncoding, FileKeepsItsEncoding) {
  const std::string utf8 = "; 我的设置\n[字体]\n字体名称=宋体\n字体大小=10\n";
  const std::string utf8After =
      "; 我的设置\n[字体]\n字体名称=宋体\n字体大小=12\r\n[更名选项]\r\n音轨号补零=开\r\n";
  const struct {
    const char* what;
    std::string in;
    IniFile::Encoding encoding;
    std::string out;
  } cases[] = {
      {"UTF-8", utf8, IniFile::Encoding::Utf8, utf8After},
      {"UTF-8 with BOM", kUtf8Bom + utf8, IniFile::Encoding::Utf8Bom, kUtf8Bom + utf8After},
      {"code page", gb(utf8), IniFile::Encoding::CodePage, gb(utf8After)},
      // Plain ASCII could be either; what is added goes in the code page.
      {"ASCII", "[a]\nb=c\n", IniFile::Encoding::CodePage,
       "[a]\nb=c\n" + gb("[字体]\r\n字体大小=12\r\n[更名选项]\r\n音轨号补零=开\r\n")},
      // A four-byte character (outside the BMP) survives the trip through the code page.
      {"UTF-8, 4-byte character", "[字体]\n字体名称=𠀀体\n", IniFile::Encoding::Utf8,
       "[字体]\n字体名称=𠀀体\n字体大小=12\r\n[更名选项]\r\n音轨号补零=开\r\n"},
  };
  for (const auto& c : cases) {
    testing::TempDir t;
    IniFile::Encoding seen{};
    EXPECT_EQ(editOnce(t, c.in, &seen), c.out) << c.what;
    EXPECT_EQ(seen, c.encoding) << c.what;
  }
}

TEST(IniEncoding, ValuesReadFromUtf8AreCodePageText) {
  testing::TempDir t;
  std::string value;
  editOnce(t, kUtf8Bom + "[字体]\r\n字体名称=微软雅黑\r\n", nullptr, &value);
  EXPECT_EQ(value, gb("微软雅黑"));
  // A second pass finds what the first wrote: nothing is added twice.
  IniFile again(t.dir() + "c.ini");
  EXPECT_EQ(again.get(gb("更名选项"), gb("音轨号补零"), ""), gb("开"));
  again.set(gb("更名选项"), gb("音轨号补零"), gb("关"));
  ASSERT_TRUE(again.save());
  EXPECT_EQ(t.read("c.ini"),
            kUtf8Bom + "[字体]\r\n字体名称=微软雅黑\r\n字体大小=12\r\n[更名选项]\r\n音轨号补零=关\r\n");
}

TEST(IniEncoding, BrokenUnicodeIsNeverOverwritten) {
  testing::TempDir t;
  // A BOM that lies: the rest is not UTF-8.
  const std::string broken = kUtf8Bom + "[a]\n\xFF\xFE\n";
  t.write("c.ini", broken);
  IniFile ini(t.dir() + "c.ini");
  EXPECT_FALSE(ini.readable());
  ini.set("a", "b", "c");
  EXPECT_FALSE(ini.save());
  EXPECT_EQ(t.read("c.ini"), broken);
}

// ASCII text as UTF-16 with its BOM.
std::string utf16(std::string_view ascii, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : ascii) out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  return out;
}

TEST(IniEncoding, Utf16WithBom) {
  for (bool big : {false, true}) {
    testing::TempDir t;
    t.write("c.ini", utf16("[a]\nk=v\n", big));
    IniFile ini(t.dir() + "c.ini");
    EXPECT_EQ(ini.encoding(), big ? IniFile::Encoding::Utf16Be : IniFile::Encoding::Utf16Le);
    EXPECT_EQ(ini.get("a", "k", ""), "v");
    ini.set("a", "k", "w");
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(t.read("c.ini"), utf16("[a]\nk=w\r\n", big)) << big;
  }
}

TEST(IniDuplicates, SetLeavesOneCopyOfTheKey) {
  testing::TempDir t;
  t.write("d.ini", "[s]\nk=1\nother=x\nk=2\n[t]\nk=9\n[S]\nk=3\nz=1\n");
  IniFile ini(t.dir() + "d.ini");
  ini.set("s", "k", "new");
  ini.set("t", "added", "a");
  ini.set("t", "added", "b");
  ini.set("u", "k", "1");
  ini.set("u", "k", "2");
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(t.read("d.ini"), "[s]\nk=new\r\nother=x\n[t]\nk=9\nadded=b\r\n[S]\nz=1\n[u]\r\nk=2\r\n");
}

// 沒 and 覽 end in the bytes of "]" and "[": a section name holding them is
// still found, so a key is written once and read back.
TEST(IniNames, CharactersHoldingBracketBytes) {
  testing::TempDir t;
  const std::string section = gb("沒覽"), key = gb("閉覽");
  t.write("n.ini", "[" + section + "]\r\n" + key + "=1\r\n");
  IniFile ini(t.dir() + "n.ini");
  EXPECT_EQ(ini.get(section, key, "?"), "1");
  ini.set(section, key, "2");
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(t.read("n.ini"), "[" + section + "]\r\n" + key + "=2\r\n");
}

// Root may write any file; the permission bits still say what the user wants.
TEST(IniSave, ReadOnlyFileIsLeftAlone) {
  testing::TempDir t;
  const std::string path = t.write("c.ini", "[a]\nb=c\n");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  IniFile ini(path);
  EXPECT_EQ(ini.get("a", "b", ""), "c");
  ini.set("a", "b", "changed");
  EXPECT_FALSE(ini.save());
  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // not replaced by a new file
  EXPECT_EQ(t.read("c.ini"), "[a]\nb=c\n");
  EXPECT_EQ(t.entryCount(), 1u);  // and no temporary left behind
}

// Owners and symbolic links: POSIX only.
#ifndef _WIN32
TEST(IniSave, ReplacementKeepsTheOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can write a file another user owns";
  testing::TempDir t;
  const std::string path = t.write("c.ini", "[a]\nb=c\n");
  ASSERT_EQ(::chown(path.c_str(), 4321, 4321), 0);
  IniFile ini(path);
  ini.set("a", "b", "d");
  ASSERT_TRUE(ini.save());
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 4321u);
  EXPECT_EQ(st.st_gid, 4321u);
  EXPECT_EQ(t.read("c.ini"), "[a]\nb=d\r\n");
}

TEST(IniSave, SymbolicLinkIsWrittenThrough) {
  testing::TempDir t;
  fs::create_directory(t.path() / "real");
  t.write("real/c.ini", gb("[a]\nb=c\n"));
  fs::create_symlink("real/c.ini", t.path() / "link.ini");
  fs::create_symlink(t.path() / "link.ini", t.path() / "chain.ini");
  fs::create_symlink("real/missing.ini", t.path() / "dangling.ini");
  for (const char* name : {"link.ini", "chain.ini"}) {
    IniFile ini(t.dir() + name);
    EXPECT_EQ(ini.get("a", "b", ""), "c");
    ini.set("a", "from", name);
    ASSERT_TRUE(ini.save()) << name;
    EXPECT_TRUE(fs::is_symlink(t.path() / name)) << name;
  }
  EXPECT_EQ(t.read("real/c.ini"), "[a]\nb=c\nfrom=chain.ini\r\n");
  IniFile dangling(t.dir() + "dangling.ini");
  dangling.set("x", "y", "z");
  ASSERT_TRUE(dangling.save());
  EXPECT_TRUE(fs::is_symlink(t.path() / "dangling.ini"));
  EXPECT_EQ(t.read("real/missing.ini"), "[x]\r\ny=z\r\n");
}

TEST(IniSave, LinkLoopIsNotFollowedForever) {
  testing::TempDir t;
  fs::create_symlink("b.ini", t.path() / "a.ini");
  fs::create_symlink("a.ini", t.path() / "b.ini");
  IniFile ini(t.dir() + "a.ini");
  ini.set("x", "y", "z");
  EXPECT_FALSE(ini.save());
  EXPECT_TRUE(fs::is_symlink(t.path() / "a.ini"));
}
#endif

}  // namespace
}  // namespace qorin::platform
