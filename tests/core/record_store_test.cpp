// SPDX-License-Identifier: GPL-3.0-or-later
// Records of passes made by two programs with one state folder, records of
// an earlier version, and what others may have planted in the state folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "platform/fs.h"
#include "rename/record_store.h"
#include "session/session.h"
#include "temp_dir.h"
#include "text/gbtext.h"

#ifdef __linux__
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace qorin::session {
namespace {

namespace stdfs = std::filesystem;

using testing::namesIn;

const std::set<std::string> kOriginal = {"a.txt", "b.txt"};
const std::set<std::string> kNumbered = {"0.txt", "1.txt"};

class Records : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"x", "y"}) {
      stdfs::create_directory(t_.path() / d);
      for (const auto& n : kOriginal) std::ofstream(t_.path() / d / n) << d << n;
    }
  }
  Places places() const { return Places::in(t_.dir() + "state"); }
  std::string folder(const char* d) const { return t_.dir() + d; }

  // A session started as the window starts one, its records looked at.
  std::unique_ptr<Session> start() const {
    auto s = std::make_unique<Session>(places());
    s->takeRecords({});
    return s;
  }
  static PassReport numberAll(Session& s, const std::string& dir) {
    s.addFolder(dir);
    s.setRule(rules::GeneralOptions{});  // 0, 1, … keeping the extension
    return s.renameAll();
  }

  qorin::testing::TempDir t_;
};

TEST_F(Records, NothingToUndoIsSaidAsSuch) {
  auto s = start();
  const PassReport r = s->undoLastPass();
  EXPECT_EQ(r.problem, session::Problem::None);
  EXPECT_EQ(r.kind, PassReport::Kind::NothingToUndo);
}

TEST_F(Records, TheRecordOfAnEarlierVersionIsTakenOver) {
  {
    // An earlier version kept its one record as state/journal.
    filelist::FileList list;
    for (const auto& n : kOriginal) list.addName(n);
    list.fillRows(filelist::kFillAppend | filelist::kFillDirectory, 0, 1,
                  platform::withSeparator(folder("x")));
    list.setNewName(0, "0.txt");
    list.setNewName(1, "1.txt");
    ASSERT_EQ(rename::renamePass(list, places().stateDir + "journal").renamed, 2);
  }
  auto s = start();
  EXPECT_TRUE(s->commands().undo);
  EXPECT_EQ(s->undoLastPass().succeeded, 2);
  EXPECT_EQ(namesIn(t_.path() / "x"), kOriginal);
  EXPECT_FALSE(stdfs::exists(t_.path() / "state" / "journal"));
}

#ifdef __linux__

// Runs `body` in a child process; true when it exited with 0.
template <class Body>
pid_t inChild(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) _exit(body() ? 0 : 1);
  return pid;
}
bool succeeded(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() { EXPECT_EQ(::pipe(fd), 0); }
  ~Pipe() {
    ::close(fd[0]);
    ::close(fd[1]);
  }
  void signal() const { EXPECT_EQ(::write(fd[1], "x", 1), 1); }
  bool wait() const {
    char c = 0;
    return ::read(fd[0], &c, 1) == 1;
  }
};

TEST_F(Records, TwoProgramsEachUndoTheirOwnPass) {
  Pipe passed, undo, asked;
  const pid_t a = inChild([&] {
    Session s(places());
    if (numberAll(s, folder("x")).succeeded != 2) return false;
    passed.signal();
    undo.wait();
    return s.undoLastPass().succeeded == 2;
  });
  ASSERT_TRUE(passed.wait());
  // A program started while the other still runs leaves its record alone.
  {
    auto late = start();
    EXPECT_FALSE(late->commands().undo);
  }
  auto b = start();
  ASSERT_EQ(numberAll(*b, folder("y")).succeeded, 2);
  undo.signal();
  ASSERT_TRUE(succeeded(a));
  EXPECT_EQ(namesIn(t_.path() / "x"), kOriginal);
  EXPECT_EQ(namesIn(t_.path() / "y"), kNumbered);
  EXPECT_EQ(b->undoLastPass().succeeded, 2);
  EXPECT_EQ(namesIn(t_.path() / "y"), kOriginal);
}

TEST_F(Records, TheRecordOfAProgramThatEndedIsTakenOverAtStart) {
  ASSERT_TRUE(succeeded(inChild([&] {
    Session s(places());
    return numberAll(s, folder("x")).succeeded == 2;  // and the program ends without an undo
  })));
  auto s = start();
  EXPECT_TRUE(s->commands().undo);
  auto second = start();  // the record is the first one's now
  EXPECT_FALSE(second->commands().undo);
  EXPECT_EQ(s->undoLastPass().succeeded, 2);
  EXPECT_EQ(namesIn(t_.path() / "x"), kOriginal);
}

TEST_F(Records, PassesAtTheSameMomentKeepTheirOwnRecords) {
  Pipe go;
  const auto rounds = [&](const char* d) {
    go.wait();
    Session s(places());
    s.addFolder(folder(d));
    s.setRule(rules::GeneralOptions{});
    for (int i = 0; i < 15; ++i) {
      if (s.renameAll().succeeded != 2 || namesIn(t_.path() / d) != kNumbered) return false;
      if (s.undoLastPass().succeeded != 2 || namesIn(t_.path() / d) != kOriginal) return false;
    }
    return true;
  };
  const pid_t a = inChild([&] { return rounds("x"); });
  const pid_t b = inChild([&] { return rounds("y"); });
  go.signal();
  go.signal();
  EXPECT_TRUE(succeeded(a));
  EXPECT_TRUE(succeeded(b));
}

TEST_F(Records, APassWhoseRecordCouldNotBeFinishedSaysSoAndCanBeUndone) {
  ASSERT_TRUE(succeeded(inChild([&] {
    Session s(places());
    s.addFolder(folder("x"));
    s.setRule(rules::GeneralOptions{});
    // The disk fills up once the plan is written: the completion records fail.
    ::signal(SIGXFSZ, SIG_IGN);
    bool limited = false;
    const PassReport r = s.renameAll({}, [&] {
      if (!limited) {
        struct stat st {};
        ::stat(s.recordPath().c_str(), &st);
        const rlimit lim{static_cast<rlim_t>(st.st_size), RLIM_INFINITY};
        limited = ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
      }
      return false;
    });
    const bool told = r.recordWriteError != 0 && !r.allSucceeded();
    const bool offered = s.commands().undo;
    const rlimit none{RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &none);
    return limited && told && offered && s.undoLastPass().succeeded == 2;
  })));
  EXPECT_EQ(namesIn(t_.path() / "x"), kOriginal);
}

// Links and a FIFO planted where the state folder's files are looked for;
// false when any was followed or waited on.
bool plantedFilesAreLeftAlone(const stdfs::path& root, const Places& places, const std::string& x,
                              const std::string& y) {
  const stdfs::path state = places.stateDir, records = state / "records";
  stdfs::create_directories(records);
  std::ofstream(root / "victim") << "not ours";
  // A link where the earlier version kept its temporary, a link and a FIFO
  // where records are looked for.
  stdfs::create_symlink(root / "victim", state / "journal.new");
  stdfs::create_symlink(root / "victim", records / "0000000000000001-00000000.journal");
  if (::mkfifo((records / "0000000000000002-00000000.journal").c_str(), 0600) != 0) return false;
  const auto started = [&] {
    auto s = std::make_unique<Session>(places);
    s->takeRecords({});
    return s;
  };
  const auto number = [](Session& s, const std::string& dir) {
    s.addFolder(dir);
    s.setRule(rules::GeneralOptions{});
    return s.renameAll();
  };
  auto s = started();  // returns: the FIFO was not waited on
  bool ok = !s->commands().undo && number(*s, x).succeeded == 2 && s->undoLastPass().succeeded == 2;
  std::ifstream in(root / "victim");
  std::string victim;
  std::getline(in, victim);
  ok = ok && victim == "not ours";

  // The records folder itself replaced by a link to someone else's folder:
  // nothing is written through it.
  stdfs::remove_all(records);
  stdfs::create_directory(root / "theirs");
  stdfs::create_directory_symlink(root / "theirs", records);
  auto again = started();
  ok = ok && number(*again, y).problem != session::Problem::None && namesIn(root / "theirs").empty();
  return ok && namesIn(stdfs::path(y)) == kOriginal;
}

TEST_F(Records, WhatOthersPlantInTheStateFolderIsNeitherFollowedNorWaitedOn) {
  EXPECT_TRUE(plantedFilesAreLeftAlone(t_.path(), places(), folder("x"), folder("y")));
}

TEST_F(Records, WhatOthersPlantIsLeftAloneForAnOrdinaryUserToo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  constexpr uid_t kNobody = 65534;
  EXPECT_TRUE(succeeded(inChild([&] {
    for (const auto& e : stdfs::recursive_directory_iterator(t_.path()))
      if (::lchown(e.path().c_str(), kNobody, kNobody) != 0) return false;
    return ::chown(t_.path().c_str(), kNobody, kNobody) == 0 && ::setgid(kNobody) == 0 &&
           ::setuid(kNobody) == 0 && plantedFilesAreLeftAlone(t_.path(), places(), folder("x"), folder("y"));
  })));
}

// A FIFO where a tag backup or a record is looked for: the start, a pass
// and its undo go on (in a child, which an alarm ends if anything waits).
TEST_F(Records, AFifoWhereABackupOrARecordGoesIsNotWaitedOn) {
  for (const char* at : {"tag-backups/x.bak", "records/0000000000000002-00000000.journal"}) {
    SCOPED_TRACE(at);
    const stdfs::path fifo = stdfs::path(places().stateDir) / at;
    stdfs::create_directories(fifo.parent_path());
    stdfs::permissions(fifo.parent_path(), stdfs::perms::owner_all);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(succeeded(inChild([&] {
      ::alarm(30);
      Session s(places());
      s.start();
      s.takeRecords({});
      return numberAll(s, folder("x")).succeeded == 2 && s.undoLastPass().succeeded == 2;
    })));
    EXPECT_TRUE(stdfs::is_fifo(fifo));
    EXPECT_EQ(namesIn(t_.path() / "x"), kOriginal);
    stdfs::remove(fifo);
  }
}

// A records folder its group may write to, or a record another user owns:
// no undo of it is offered and none renames a file, even for root. Where
// others may write, no record is kept, so no pass runs either.
TEST(RecordsOfOthers, AreNeitherUndoneNorWrittenTo) {
  constexpr uid_t kNobody = 65534;
  for (const bool foreign : {false, true}) {
    if (foreign && ::geteuid() != 0) continue;  // needs a second user
    SCOPED_TRACE(foreign ? "another user's record" : "a group-writable folder");
    qorin::testing::TempDir t;
    for (const char* d : {"x", "y"}) {
      stdfs::create_directory(t.path() / d);
      for (const auto& n : kOriginal) std::ofstream(t.path() / d / n) << n;
    }
    const Places places = Places::in(t.dir() + "state");
    std::string record;
    {
      Session s(places);
      s.addFolder(t.dir() + "x");
      s.setRule(rules::GeneralOptions{});
      ASSERT_EQ(s.renameAll().succeeded, 2);
      record = s.recordPath();
    }
    if (foreign) {
      ASSERT_EQ(::chown(record.c_str(), kNobody, kNobody), 0);
    } else {
      stdfs::permissions(stdfs::path(record).parent_path(), stdfs::perms::group_write,
                         stdfs::perm_options::add);
    }
    Session s(places);
    s.start();
    RecordAsker ask;
    std::vector<std::string> told;
    ask.refused = [&](const std::vector<std::string>& paths) { told = paths; };
    s.takeRecords(ask);
    EXPECT_EQ(told, std::vector<std::string>{foreign ? record : std::string(platform::directoryOf(record))});
    EXPECT_FALSE(s.commands().undo);
    s.undoLastPass();
    EXPECT_EQ(namesIn(t.path() / "x"), kNumbered);
    EXPECT_TRUE(stdfs::is_regular_file(record));  // left where it is
    if (!foreign) {
      s.addFolder(t.dir() + "y");
      s.setRule(rules::GeneralOptions{});
      EXPECT_NE(s.renameAll().problem, Problem::None);
      EXPECT_EQ(namesIn(t.path() / "y"), kOriginal);
    }
  }
}

#endif

}  // namespace
}  // namespace qorin::session
