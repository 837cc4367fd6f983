// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string_view>

#ifdef __linux__
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "outcome_codes.h"
#include "platform/fs.h"
#include "rename/journal.h"
#include "temp_dir.h"

namespace qorin::rename {
namespace {

// A name with a line break and a tab, where file names may hold them.
const std::string kBreak = platform::kWindowsNames ? "odd %0A name.mp3" : "line\nbreak\t.mp3";

// A full folder path as this platform writes one ("/music/" is "C:\\music\\" on Windows).
std::string fullFolder(std::string posix) {
  if (platform::kSeparator == '/') return posix;
  for (char& c : posix)
    if (c == '/') c = platform::kSeparator;
  return "C:" + posix;
}

// A pass over awkward names (blanks, '%', line breaks, double-byte text,
// an empty folder text), one step failed, then an undo.
std::string sampleJournal() {
  JournalLines l;
  l.header();
  l.folder(0, {fullFolder("/music/my songs/"), 0x803});
  l.folder(1, {"", 0});
  l.begin(PhaseKind::Pass);
  l.step({0, 0, 1, false, {0x803, 0x1234, 99, 0x17AB}, "a b%.mp3", kBreak});
  l.step({2, 0, 2, true, {0x803, 0x99, 0, 0}, "\xD2\xF4\xC0\xD6", ".qorin-1.tmp"});
  l.step({3, 0, 2, true, {0x803, 0x98, 7, 0}, "x", "\xD2\xF4\xC0\xD6"});
  l.step({2, 0, 2, true, {0x803, 0x99, 0, 0}, ".qorin-1.tmp", "x"});
  l.planned(4);
  l.done(0, 0);
  l.failed(1, codes::SystemError, 13);
  l.done(2, 3);
  l.end(3);
  l.begin(PhaseKind::Undo);
  l.step({0, 0, 1, false, {0x803, 0x1234, 99, 0x17AB}, kBreak, "a b%.mp3"});
  l.planned(1);
  l.done(0, 0);
  l.end(2);
  return l.text();
}

TEST(Journal, ReadsBackWhatWasWritten) {
  JournalRecord r;
  ASSERT_EQ(parseJournal(sampleJournal(), r), JournalRead::Ok);
  EXPECT_FALSE(r.damaged);
  ASSERT_EQ(r.folders.size(), 2u);
  EXPECT_EQ(r.folders[0].dir, fullFolder("/music/my songs/"));
  EXPECT_EQ(r.folders[0].device, 0x803u);
  EXPECT_EQ(r.folders[1].dir, "");
  ASSERT_EQ(r.phases.size(), 2u);
  const JournalPhase& pass = r.phases[0];
  EXPECT_EQ(pass.kind, PhaseKind::Pass);
  EXPECT_TRUE(pass.ended);
  ASSERT_EQ(pass.steps.size(), 4u);
  EXPECT_EQ(pass.steps[0].from, "a b%.mp3");
  EXPECT_EQ(pass.steps[0].to, kBreak);
  EXPECT_EQ(pass.steps[0].id, (platform::FileIdentity{0x803, 0x1234, 99, 0x17AB}));
  EXPECT_EQ(pass.steps[1].from, "\xD2\xF4\xC0\xD6");
  EXPECT_TRUE(pass.steps[1].cycle);
  EXPECT_EQ(pass.steps[3].group, 2u);
  EXPECT_EQ(pass.states,
            (std::vector<StepState>{StepState::Done, StepState::Failed, StepState::Done, StepState::Done}));
  EXPECT_EQ(r.phases[1].kind, PhaseKind::Undo);
  EXPECT_EQ(r.phases[1].states, std::vector<StepState>{StepState::Done});
}

TEST(Journal, EveryCutReadsAsAPrefix) {
  const std::string full = sampleJournal();
  JournalRecord whole;
  ASSERT_EQ(parseJournal(full, whole), JournalRead::Ok);
  const std::size_t planEnd = full.find("\nP 4\t") + 1;
  const std::size_t planLineEnd = full.find('\n', planEnd) + 1;
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    JournalRecord r;
    const JournalRead result = parseJournal(full.substr(0, cut), r);
    const bool torn = cut > 0 && full[cut - 1] != '\n';
    if (cut < planLineEnd) {
      // Before the plan is whole nothing was renamed: the writing stopped there.
      EXPECT_EQ(result, JournalRead::NeverRan) << cut;
      continue;
    }
    ASSERT_EQ(result, JournalRead::Ok) << cut;
    // A torn last line is cut off before anything is appended.
    EXPECT_EQ(r.damaged, torn) << cut;
    EXPECT_EQ(r.goodBytes, full.rfind('\n', cut - 1) + 1) << cut;
    ASSERT_GE(r.phases.size(), 1u);
    EXPECT_EQ(r.phases[0].steps.size(), 4u) << cut;
    for (std::size_t p = 0; p < r.phases.size(); ++p) {
      EXPECT_EQ(r.phases[p].steps.size(), whole.phases[p].steps.size()) << cut;
      for (std::size_t k = 0; k < r.phases[p].states.size(); ++k) {
        if (r.phases[p].states[k] == StepState::Pending) continue;
        EXPECT_EQ(r.phases[p].states[k], whole.phases[p].states[k]) << cut;
      }
    }
  }
}

TEST(Journal, GarbageStopsTheReadingWhereItStands) {
  const std::string full = sampleJournal();
  // A flipped byte in a completion record: what came before still counts.
  std::string late = full;
  late[full.find("\nD 2 3") + 3] = '7';
  JournalRecord r;
  ASSERT_EQ(parseJournal(late, r), JournalRead::Ok);
  EXPECT_TRUE(r.damaged);
  EXPECT_EQ(r.phases.size(), 1u);
  EXPECT_FALSE(r.phases[0].ended);
  EXPECT_EQ(r.phases[0].states[2], StepState::Pending);

  // A flipped byte in the plan's first step: nothing of the plan can be
  // trusted; in a later step: the steps before it are read.
  std::string early = full;
  early[full.find("\nS ") + 5] ^= 1;
  EXPECT_EQ(parseJournal(early, r), JournalRead::Damaged);
  std::string later = full;
  later[full.find("\nS 3 ") + 5] ^= 1;
  ASSERT_EQ(parseJournal(later, r), JournalRead::Ok);
  EXPECT_TRUE(r.phases[0].planCut);
  EXPECT_EQ(r.phases[0].steps.size(), 2u);
  EXPECT_EQ(r.unreadableSteps, 2);
}

TEST(Journal, LinesThatDoNotFitWhereTheyStandEndTheReading) {
  const auto reads = [](const std::function<void(JournalLines&)>& tail) {
    JournalLines l;
    l.header();
    l.folder(0, {fullFolder("/d/"), 1});
    l.begin(PhaseKind::Pass);
    l.step({0, 0, 1, false, {1, 2, 3, 0}, "a", "b"});
    l.planned(1);
    tail(l);
    JournalRecord r;
    parseJournal(l.text(), r);
    return r;
  };
  // Each tail is checksummed correctly but makes no sense there.
  EXPECT_TRUE(reads([](JournalLines& l) { l.done(0, 1); }).damaged);  // past the last step
  EXPECT_TRUE(reads([](JournalLines& l) { l.folder(1, {fullFolder("/e/"), 1}); }).damaged);
  EXPECT_TRUE(reads([](JournalLines& l) { l.begin(PhaseKind::Pass); }).damaged);  // a second pass
  EXPECT_TRUE(reads([](JournalLines& l) {
                l.begin(PhaseKind::Undo);
                l.step({7, 0, 1, false, {1, 2, 3, 0}, "b", "a"});  // a file the pass never had
              }).damaged);
  EXPECT_TRUE(reads([](JournalLines& l) {
                l.begin(PhaseKind::Undo);
                l.step({0, 3, 1, false, {1, 2, 3, 0}, "b", "a"});  // no such folder
              }).damaged);
  EXPECT_TRUE(reads([](JournalLines& l) {
                l.end(1);
                l.done(0, 0);  // after the end
              }).damaged);
  EXPECT_TRUE(reads([](JournalLines& l) { l.linking(1, false); }).damaged);     // past the last step
  EXPECT_TRUE(reads([](JournalLines& l) { l.claimed(0, false, 5); }).damaged);  // no claim before
  EXPECT_TRUE(reads([](JournalLines& l) {
                l.claiming(0, false);
                l.claimed(0, true, 5);  // the other name
              }).damaged);
  EXPECT_TRUE(reads([](JournalLines& l) {
                l.end(1);
                l.linking(0, false);
              }).damaged);
  // An undo whose plan was cut short renamed nothing and is left out.
  const JournalRecord cutUndo = reads([](JournalLines& l) {
    l.end(1);
    l.begin(PhaseKind::Undo);
    l.step({0, 0, 1, false, {1, 2, 3, 0}, "b", "a"});
  });
  EXPECT_FALSE(cutUndo.damaged);
  EXPECT_EQ(cutUndo.phases.size(), 1u);
  EXPECT_TRUE(cutUndo.phases[0].ended);
}

// The names are read into one buffer of their own: every byte the record
// escapes, at either end of a name or alone, comes back as written, and each
// step keeps its own folder (with the folder's device) among many.
TEST(Journal, NamesAndFoldersReadBackExactly) {
  const std::vector<std::string> names = {"a",
                                          "%",
                                          "%%41",
                                          " lead",
                                          platform::kWindowsNames ? "trail .x" : "trail ",
                                          "x%",
                                          "\x7F",
                                          "\xD2\xF4\xC0\xD6",
                                          std::string(255, 'n'),
                                          kBreak,
                                          platform::kWindowsNames ? "%0D%09" : "\r\t\x01 "};
  constexpr std::uint32_t kFolders = 300;
  JournalLines l;
  l.header();
  for (std::uint32_t f = 0; f < kFolders; ++f)
    l.folder(f, {fullFolder("/d" + std::to_string(f) + "/"), 0x800 + f % 7, f + 1});
  l.begin(PhaseKind::Pass);
  std::vector<StepRef> written;
  for (std::uint32_t f = 0; f < kFolders; ++f)
    for (std::uint32_t j = 0; j < names.size(); ++j) {
      const auto n = static_cast<std::uint32_t>(written.size());
      written.push_back(
          {n, f, n + 1, false, {0x800 + f % 7, n, j, f}, names[j], names[(j + f) % names.size()]});
      l.step(written.back());
    }
  l.planned(written.size());
  l.done(0, written.size() - 1);
  l.end(written.size());
  JournalRecord r;
  ASSERT_EQ(parseJournal(l.text(), r), JournalRead::Ok);
  const JournalRecord copy = r;
  r = {};  // the copy shares what the steps rest on
  ASSERT_EQ(copy.folders.size(), kFolders);
  ASSERT_EQ(copy.phases.size(), 1u);
  const JournalSteps& steps = copy.phases[0].steps;
  ASSERT_EQ(steps.size(), written.size());
  EXPECT_EQ(copy.files, written.size());
  for (std::size_t k = 0; k < written.size(); ++k) {
    const JournalStep s = steps[k];
    EXPECT_EQ(s.from, written[k].from) << k;
    EXPECT_EQ(s.to, written[k].to) << k;
    EXPECT_EQ(s.folder, written[k].folder) << k;
    EXPECT_EQ(s.id, written[k].id) << k;
    EXPECT_EQ(s.id.device, copy.folders[s.folder].device) << k;
    EXPECT_EQ(s.fileIndex, k);
  }
}

// A record cut anywhere, inside a name or an escape of the last line
// included, reads its whole lines back with every name intact.
TEST(Journal, ACutLeavesTheNamesBeforeItWhole) {
  const std::string full = sampleJournal();
  JournalRecord whole;
  ASSERT_EQ(parseJournal(full, whole), JournalRead::Ok);
  for (std::size_t cut = full.find("\nS ") + 1; cut < full.size(); ++cut) {
    JournalRecord r;
    if (parseJournal(full.substr(0, cut), r) != JournalRead::Ok) continue;
    for (std::size_t p = 0; p < r.phases.size(); ++p) {
      ASSERT_LE(r.phases[p].steps.size(), whole.phases[p].steps.size()) << cut;
      for (std::size_t k = 0; k < r.phases[p].steps.size(); ++k) {
        EXPECT_EQ(r.phases[p].steps[k].from, whole.phases[p].steps[k].from) << cut;
        EXPECT_EQ(r.phases[p].steps[k].to, whole.phases[p].steps[k].to) << cut;
      }
    }
  }
}

// Files are numbered for tables per file where the record first names them,
// in the phases that count: the steps of a pass left without its plan, or
// of an undo cut before its plan was whole, leave no number and no step
// behind (a later phase may still name a file of that pass, as ever).
TEST(Journal, FilesAreNumberedWhereTheRecordFirstNamesThem) {
  JournalLines l;
  l.header();
  l.folder(0, {fullFolder("/d/"), 1});
  l.begin(PhaseKind::Pass);  // left without its plan
  l.step({50, 0, 1, false, {1, 50, 3, 0}, "x", "y"});
  l.begin(PhaseKind::Pass);
  l.step({7, 0, 1, true, {1, 7, 3, 0}, "a", ".t"});
  l.step({3, 0, 1, true, {1, 3, 3, 0}, "b", "a"});
  l.step({7, 0, 1, true, {1, 7, 3, 0}, ".t", "b"});
  l.step({9, 0, 2, false, {1, 9, 3, 0}, "c", "d"});
  l.planned(4);
  l.end(3);
  l.begin(PhaseKind::Undo);
  l.step({50, 0, 1, false, {1, 50, 3, 0}, "y", "x"});
  l.step({9, 0, 2, false, {1, 9, 3, 0}, "d", "c"});
  l.planned(2);
  l.end(0);
  l.begin(PhaseKind::Undo);  // cut before its plan was whole
  l.step({3, 0, 1, false, {1, 3, 3, 0}, "a", "b"});
  JournalRecord r;
  ASSERT_EQ(parseJournal(l.text(), r), JournalRead::Ok);
  ASSERT_EQ(r.phases.size(), 2u);
  EXPECT_EQ(r.files, 4u);
  const auto numbers = [](const JournalPhase& p) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;  // file, index
    for (const JournalStep& s : p.steps) out.emplace_back(s.file, s.fileIndex);
    return out;
  };
  using Numbers = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
  EXPECT_EQ(numbers(r.phases[0]), (Numbers{{7, 0}, {3, 1}, {7, 0}, {9, 2}}));
  EXPECT_EQ(numbers(r.phases[1]), (Numbers{{50, 3}, {9, 2}}));
  EXPECT_EQ(r.phases[1].steps[0].from, "y");
}

// A record read from its file a piece at a time reads as its whole text
// does, with lines across the pieces' ends: whole, torn within its steps,
// and damaged past the first piece.
TEST(Journal, AFileReadInPiecesReadsAsItsText) {
  JournalLines l;
  l.header();
  l.folder(0, {fullFolder("/d/"), 1});
  l.begin(PhaseKind::Pass);
  constexpr std::uint32_t kSteps = 8000;  // over two pieces of steps
  for (std::uint32_t i = 0; i < kSteps; ++i) {
    const std::string name = std::to_string(i) + std::string(i % 400, 'n');
    l.step({i, 0, i + 1, false, {1, i, 3, 0}, "a" + name, "b%" + name});
  }
  l.planned(kSteps);
  l.done(0, kSteps - 1);
  l.end(kSteps);
  const std::string full = l.text();
  std::string damaged = full.substr(0, full.find("\nP ") + 1);
  damaged[damaged.find('\t', 3 << 19)] = 'x';
  const testing::TempDir dir;
  for (const std::string& text :
       {full + "S 1 0", full.substr(0, full.find("\nP ") - 40), damaged.substr(0, damaged.size() - 5)}) {
    JournalRecord fromText, fromFile;
    const JournalRead read = parseJournal(text, fromText);
    ASSERT_EQ(readJournal(dir.write("r.journal", text), fromFile), read);
    EXPECT_EQ(fromFile.damaged, fromText.damaged);
    EXPECT_EQ(fromFile.goodBytes, fromText.goodBytes);
    EXPECT_EQ(fromFile.unreadableSteps, fromText.unreadableSteps);
    EXPECT_EQ(fromFile.files, fromText.files);
    ASSERT_EQ(fromFile.phases.size(), 1u);
    ASSERT_EQ(fromText.phases.size(), 1u);
    const JournalPhase &a = fromFile.phases[0], &b = fromText.phases[0];
    EXPECT_EQ(a.states, b.states);
    EXPECT_EQ(a.ended, b.ended);
    EXPECT_EQ(a.planCut, b.planCut);
    ASSERT_EQ(a.steps.size(), b.steps.size());
    for (std::size_t k = 0; k < a.steps.size(); ++k) {
      ASSERT_EQ(a.steps[k].from, b.steps[k].from) << k;
      ASSERT_EQ(a.steps[k].to, b.steps[k].to) << k;
      ASSERT_EQ(a.steps[k].fileIndex, b.steps[k].fileIndex) << k;
    }
  }
}

// A pass's plan in parts: a later part counts with the first; one whose P
// line never came is left out; a record of version 3 has no later parts.
TEST(Journal, APlanInPartsReadsAsOne) {
  JournalLines l;
  l.header();
  l.folder(0, {fullFolder("/music/"), 0x803});
  l.begin(PhaseKind::Pass);
  l.step({0, 0, 1, false, {0x803, 0x10, 1, 0}, "a", "b"});
  l.planned(1);
  l.done(0, 0);
  const std::size_t firstPart = l.text().size();
  l.step({1, 0, 2, false, {0x803, 0x11, 1, 0}, "c", "d"});
  l.planned(2);
  l.done(1, 1);
  l.end(2);
  JournalRecord r;
  ASSERT_EQ(parseJournal(l.text(), r), JournalRead::Ok);
  EXPECT_EQ(r.phases[0].states, (std::vector<StepState>{StepState::Done, StepState::Done}));
  EXPECT_TRUE(r.phases[0].ended);

  const std::string unfinished = l.text().substr(0, l.text().find("\nP 2") + 1);
  ASSERT_EQ(parseJournal(unfinished, r), JournalRead::Ok);
  EXPECT_EQ(r.phases[0].steps.size(), 1u);
  EXPECT_EQ(r.phases[0].states, std::vector<StepState>{StepState::Done});

  std::string older = l.text();
  const std::size_t headEnd = older.find('\n') + 1;
  char sum[16];
  std::snprintf(sum, sizeof sum, "\t%08x\n", crc32("qorin-journal 3"));
  older.replace(0, headEnd, std::string("qorin-journal 3") + sum);
  ASSERT_NE(parseJournal(older, r), JournalRead::Unsupported);
  EXPECT_EQ(r.phases.empty() ? 0u : r.phases[0].steps.size(), 1u);
  EXPECT_GT(firstPart, 0u);
}

// What the link and placeholder ways said they were about to do: only the
// last phase's count, and a record of version 4 takes them from an undo.
TEST(Journal, IntentsOfTheLastPhaseAreRead) {
  for (const bool older : {false, true}) {
    std::string text = sampleJournal();
    JournalLines l;
    l.begin(PhaseKind::Undo);
    l.step({2, 0, 1, false, {0x803, 0x99, 0, 0}, "x", "\xD2\xF4\xC0\xD6"});
    l.step({3, 0, 2, false, {0x803, 0x98, 7, 0}, "\xD2\xF4\xC0\xD6", "x"});
    l.planned(2);
    l.linking(0, false);
    l.done(0, 0);
    l.claiming(1, true);
    l.claimed(1, true, 0xABC);
    l.claiming(1, false);
    text += l.text();
    if (older) {
      char sum[16];
      std::snprintf(sum, sizeof sum, "\t%08x\n", crc32("qorin-journal 4"));
      text.replace(0, text.find('\n') + 1, std::string("qorin-journal 4") + sum);
    }
    JournalRecord r;
    ASSERT_EQ(parseJournal(text, r), JournalRead::Ok);
    EXPECT_FALSE(r.damaged);
    ASSERT_EQ(r.intents.size(), 3u);
    EXPECT_TRUE(r.intents[0].link);
    EXPECT_EQ(r.intents[1].step, 1u);
    EXPECT_TRUE(r.intents[1].back && r.intents[1].claimed && !r.intents[1].link);
    EXPECT_EQ(r.intents[1].inode, 0xABCu);
    EXPECT_FALSE(r.intents[2].claimed || r.intents[2].back);
  }
}

TEST(Journal, OtherVersionsAndOtherFiles) {
  JournalRecord r;
  EXPECT_EQ(parseJournal("qorin-journal 6\tdeadbeef\nwhatever follows\n", r), JournalRead::Unsupported);
  EXPECT_EQ(parseJournal("qorin-journal 10 with more\n", r), JournalRead::Unsupported);
  EXPECT_EQ(parseJournal("", r), JournalRead::NeverRan);  // reserved by a program that ended before its pass
  EXPECT_EQ(parseJournal("[预览选项]\r\nautoPreview=1\r\n", r), JournalRead::Damaged);
  EXPECT_EQ(parseJournal("qorin-journal 1\t00000000\n", r), JournalRead::Damaged);  // bad checksum
  std::string binary(4096, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 131 + 7);
  EXPECT_EQ(parseJournal(binary, r), JournalRead::Damaged);
  EXPECT_EQ(crc32("123456789"), 0xCBF43926u);  // the standard check value
}

#ifdef __linux__
// A first line of ours, then 256 MiB of lines no pass wrote, or of no line
// breaks at all: refused with nothing sized from its length. Read in a
// child, whose peak memory (VmHWM, reset first) is its own.
TEST(Journal, JunkIsRefusedWithoutBeingSizedFromIt) {
  const auto statusKb = [](std::string_view key) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
      if (line.starts_with(key)) return std::stol(line.substr(key.size()));
    return 0L;
  };
  testing::TempDir t;
  JournalLines head;
  head.header();
  std::string block;
  while (block.size() < (std::size_t{1} << 20)) block += "S 1 0 1 s 1 2 3 0 a b\t00000000\n";
  const std::string path = t.file("junk.journal");
  for (const bool lines : {true, false}) {
    SCOPED_TRACE(lines ? "junk lines" : "no line breaks");
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out << head.text();
      for (int i = 0; lines && i < 256; ++i) out << block;
    }
    std::filesystem::resize_file(path, std::uintmax_t{256} << 20);  // the rest a hole of zeros
    const pid_t child = ::fork();
    if (child == 0) {
      std::ofstream("/proc/self/clear_refs") << "5";
      const long before = statusKb("VmRSS:");
      JournalRecord r;
      const bool refused = readJournal(path, r) != JournalRead::Ok;
      _exit(refused && statusKb("VmHWM:") - before < 50 * 1024 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
}
#endif

}  // namespace
}  // namespace qorin::rename
