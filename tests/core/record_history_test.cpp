// SPDX-License-Identifier: GPL-3.0-or-later
// The records of many passes: files an undo could not find stay on record,
// the newest pass is always the first to go back, and old records are
// pruned without touching one another program holds or one cut short.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/fs.h"
#include "rename/journal.h"
#include "rename/record_store.h"
#include "session/session.h"
#include "temp_dir.h"

namespace qorin::session {
namespace {

namespace stdfs = std::filesystem;

using testing::namesIn;

const std::set<std::string> kOriginal = {"a.txt", "b.txt"};

// The record of a pass as a kill would leave it: its last lines never written.
void cutShort(const std::string& record) {
  std::ifstream in(record, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  in.close();
  while (!lines.empty() && !lines.back().starts_with("D ")) lines.pop_back();
  ASSERT_FALSE(lines.empty());
  lines.pop_back();
  std::ofstream out(record, std::ios::binary | std::ios::trunc);
  for (const std::string& line : lines) out << line << '\n';
}

class RecordHistory : public ::testing::Test {
 protected:
  RecordHistory() {
    for (const char* d : {"x", "y"}) {
      stdfs::create_directory(t_.path() / d);
      for (const auto& n : kOriginal) std::ofstream(t_.path() / d / n) << d << n;
    }
  }
  Places places() const { return Places::in(t_.dir() + "state"); }
  stdfs::path records() const { return t_.path() / "state" / "records"; }
  std::string folder(const char* d) const { return t_.dir() + d; }
  std::unique_ptr<Session> started(const RecordAsker& ask = {}) const {
    auto s = std::make_unique<Session>(places());
    s->takeRecords(ask);
    return s;
  }
  // Numbers the files from `start` on, keeping their extension.
  static PassReport number(Session& s, const char* start = "0") {
    rules::GeneralOptions o;
    o.start = start;
    s.setRule(o);
    return s.renameAll();
  }

  qorin::testing::TempDir t_;
};

TEST_F(RecordHistory, FilesNotFoundStayOnRecordUntilTheirFolderIsBack) {
  enum When { Before, During, AfterACrash };
  for (const When when : {Before, During, AfterACrash}) {
    SCOPED_TRACE(when == Before   ? "moved away before the undo"
                 : when == During ? "during it"
                                  : "after a crash");
    std::string record;
    {
      auto s = started();
      s->addFolder(folder("x"));
      s->addFolder(folder("y"));
      ASSERT_EQ(number(*s).succeeded, 4);
      record = s->recordPath();
    }
    if (when == AfterACrash) cutShort(record);
    stdfs::path away;
    const auto moveAway = [&](const char* d) {
      away = t_.path() / (std::string(d) + ".away");
      stdfs::rename(t_.path() / d, away);
    };
    const auto reached = [&](const char* d) {
      const std::set<std::string> names = namesIn(t_.path() / d);
      return names.contains("a.txt") || names.contains("b.txt");
    };
    if (when != During) moveAway("y");
    std::optional<PassReport> first;
    RecordAsker ask;
    ask.cutShort = [](const rename::PassSummary&, int) { return CutShort::RollBack; };
    ask.recovered = [&](const PassReport& r, CutShort) { first = r; };
    auto s = started(ask);
    // After the first file, the folder not yet reached goes.
    if (!first)
      first = s->undoLastPass({}, [&] {
        if (away.empty()) moveAway(reached("x") ? "y" : "x");
        return false;
      });
    EXPECT_EQ(first->total, 4);
    EXPECT_EQ(first->succeeded, 2);
    EXPECT_EQ(first->pending, 2);
    s.reset();
    EXPECT_TRUE(started()->commands().undo);  // a start keeps it, and takes it up again
    stdfs::rename(away, t_.path() / away.stem());
    s = started();
    const PassReport again = s->undoLastPass();
    EXPECT_EQ(again.succeeded, 2);
    EXPECT_TRUE(again.allSucceeded());
    EXPECT_EQ(namesIn(t_.path() / "x"), kOriginal);
    EXPECT_EQ(namesIn(t_.path() / "y"), kOriginal);
    EXPECT_TRUE(namesIn(records()).empty());  // nothing left in it: it goes
  }
}

TEST_F(RecordHistory, TheNewestPassGoesBackFirstAndOneCutShortBeforeItWaits) {
  std::string older;
  {
    auto s = started();
    s->addFolder(folder("x"));
    ASSERT_EQ(number(*s).succeeded, 2);  // 0.txt 1.txt
    older = s->recordPath();
  }
  cutShort(older);
  {
    // A pass of a program that looks at no records (the command line).
    Session s(places());
    s.addFolder(folder("x"));
    ASSERT_EQ(number(s, "10").succeeded, 2);  // 10.txt 11.txt
  }
  int asked = 0;
  RecordAsker ask;
  ask.cutShort = [&](const rename::PassSummary& pass, int renamed) {
    ++asked;
    EXPECT_EQ(pass.folder, folder("x") + platform::kSeparator);
    EXPECT_EQ(renamed, 2);
    return CutShort::RollBack;
  };
  auto s = started(ask);
  EXPECT_EQ(asked, 0);  // the newer pass is not settled yet
  const std::optional<rename::PassSummary> pass = s->undoPass();
  ASSERT_TRUE(pass);
  EXPECT_EQ(pass->files, 2);
  EXPECT_TRUE(s->undoLastPass().allSucceeded());
  EXPECT_EQ(namesIn(t_.path() / "x"), (std::set<std::string>{"0.txt", "1.txt"}));
  EXPECT_TRUE(stdfs::exists(older));
  s->takeRecords(ask);  // as the window does after an undo
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(namesIn(t_.path() / "x"), kOriginal);
  EXPECT_FALSE(s->commands().undo);
}

// Records another program left, as only their first and last lines count.
struct Fake {
  std::uint64_t time;   // in the record's name: older than any real one
  std::size_t pending;  // what its end line says is left
  std::uint64_t bytes;  // its size, mostly a hole
  bool stays;
};

std::string writeFake(const stdfs::path& records, const Fake& f) {
  char name[48];
  std::snprintf(name, sizeof name, "%016llx-00000000.journal", static_cast<unsigned long long>(f.time));
  const stdfs::path p = records / name;
  rename::JournalLines head, tail;
  head.header();
  tail.end(f.pending);
  std::ofstream(p, std::ios::binary) << head.text();
  if (f.bytes > 0) stdfs::resize_file(p, f.bytes);
  std::ofstream(p, std::ios::binary | std::ios::app) << '\n' << tail.text();
  return p.string();
}

TEST_F(RecordHistory, OldRecordsArePrunedButNeverOneHeldOrCutShort) {
  struct Case {
    const char* what;
    std::vector<Fake> fakes;
    int passes;
    int ownGone;  // the oldest of the passes made here that go
  };
  constexpr std::uint64_t kMb = 1 << 20;
  const Case cases[] = {
      {"the newest twenty stay", {}, 22, 4},
      {"one with nothing left goes first", {{1, 3, 0, true}, {2, 0, 0, false}}, 17, 0},
      {"no more room than allowed", {{1, 1, 150 * kMb, false}, {2, 1, 150 * kMb, true}}, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    stdfs::remove_all(t_.path() / "state");
    std::string interrupted;
    {
      auto s = started();
      s->addFolder(folder("y"));
      ASSERT_EQ(number(*s).succeeded, 2);
      interrupted = s->recordPath();
    }
    cutShort(interrupted);
    // Another program, still running, with a pass of its own.
    auto holder = std::make_unique<Session>(places());
    holder->addFolder(folder("y"));
    ASSERT_EQ(number(*holder, "10").succeeded, 2);
    std::vector<std::string> fakes;
    for (const Fake& f : c.fakes) fakes.push_back(writeFake(records(), f));

    Session s(places());
    s.addFolder(folder("x"));
    std::vector<std::string> own;
    for (int i = 0; i < c.passes; ++i) {
      ASSERT_EQ(number(s, i % 2 ? "10" : "0").succeeded, 2);
      own.push_back(s.recordPath());
    }
    EXPECT_TRUE(stdfs::exists(interrupted));
    EXPECT_TRUE(stdfs::exists(holder->recordPath()));
    for (std::size_t i = 0; i < fakes.size(); ++i) EXPECT_EQ(stdfs::exists(fakes[i]), c.fakes[i].stays) << i;
    for (std::size_t i = 0; i < own.size(); ++i)
      EXPECT_EQ(stdfs::exists(own[i]), static_cast<int>(i) >= c.ownGone) << i;
    EXPECT_LE(namesIn(records()).size(), rename::kKeptPasses);
    // What is left still goes back, newest first.
    EXPECT_EQ(s.undoLastPass().succeeded, 2);
    holder.reset();
    for (const char* d : {"x", "y"}) {
      stdfs::remove_all(t_.path() / d);
      stdfs::create_directory(t_.path() / d);
      for (const auto& n : kOriginal) std::ofstream(t_.path() / d / n) << d << n;
    }
  }
}

}  // namespace
}  // namespace qorin::session
