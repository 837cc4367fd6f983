// SPDX-License-Identifier: GPL-3.0-or-later
// qorin-cli end to end: a copy of the program in a folder of its own (where it
// keeps its record), run on real folders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "cli/cli_docs.h"
#include "fuse_image.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = home_.path() / "qorin-cli";
    fs::copy_file(QORIN_CLI_PATH, program_);
    dir_ = work_.path() / "photos";
    fs::create_directory(dir_);
    for (const char* n : {"b 2.jpg", "a 10.jpg", "a 9.jpg"}) std::ofstream(dir_ / n) << n;
  }

  // Arguments are passed single-quoted; the test's own names hold no quote.
  Outcome run(const std::string& args, const std::string& env = "LC_ALL=C.UTF-8") {
    const fs::path err = home_.path() / "stderr";
    const std::string cmd = env + " '" + program_.string() + "' " + args + " 2>'" + err.string() + "'";
    Outcome r;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int w = pclose(p);
    r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    r.err = slurp(err);
    return r;
  }

  std::set<std::string> names() const {
    std::set<std::string> s;
    for (const auto& e : fs::directory_iterator(dir_)) s.insert(e.path().filename().string());
    return s;
  }
  std::string dir() const { return "'" + dir_.string() + "'"; }

  qorin::testing::TempDir home_, work_;
  fs::path program_, dir_;
};

TEST_F(Cli, UsageErrorsExitTwoWithOneLineAndTouchNothing) {
  const std::set<std::string> before = names();
  for (const std::string& args : std::vector<std::string>{
           "", "--bogus " + dir(), "--number x " + dir(), "--number 1 --replace a b " + dir(),
           "--number 1 --regex " + dir(), "-x --undo", "--replace a b --on both " + dir(), "--number 1",
           "--number 1 --prefix", "-x --replace '([a-z' x --regex " + dir(), "--wait --number 1 " + dir()}) {
    SCOPED_TRACE(args);
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_EQ(names(), before);
  // A pattern that does not compile is named in the user's words.
  EXPECT_NE(run("--replace 'a)' x --regex " + dir()).err.find("正则表达式有误（第2个字符）：多余的右括号 )"),
            std::string::npos);
  const Outcome help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--execute"), std::string::npos);
  EXPECT_EQ(run("--version").out.rfind("qorin-cli ", 0), 0u);
}

TEST_F(Cli, TheDryRunChangesNothingAndFailsOnAConflict) {
  const std::set<std::string> before = names();
  const Outcome plan = run("--number 1,1,2 --name p " + dir());
  EXPECT_EQ(plan.status, 0);
  // Natural order: "a 9" before "a 10".
  EXPECT_LT(plan.out.find("a 9.jpg → p01.jpg"), plan.out.find("a 10.jpg → p02.jpg"));
  const Outcome conflict = run("--replace '[0-9]+' x --regex " + dir());
  EXPECT_EQ(conflict.status, 1);
  EXPECT_NE(conflict.out.find("1 个不能更名"), std::string::npos) << conflict.out;
  EXPECT_EQ(names(), before);
}

TEST_F(Cli, ExecuteRenamesAndUndoGivesTheNamesBack) {
  const std::set<std::string> before = names();
  const Outcome x = run("-x --case upper --ext-case " + dir());
  EXPECT_EQ(x.status, 0) << x.err;
  EXPECT_EQ(names(), (std::set<std::string>{"A 10.JPG", "A 9.JPG", "B 2.JPG"}));
  const Outcome undo = run("--undo");
  EXPECT_EQ(undo.status, 0) << undo.err;
  EXPECT_EQ(names(), before);
  EXPECT_EQ(run("--undo").status, 0);  // nothing left: says so
  EXPECT_EQ(run("--undo --json").out, "[]\n");
}

// The folder as typed, from where it was typed: each comes back whole.
TEST_F(Cli, EverySpellingOfTheFolderIsUndone) {
  const std::set<std::string> before = names();
  fs::create_directories(work_.path() / "deep" / "inner");
  fs::create_directory_symlink(work_.path() / "deep" / "inner", work_.path() / "jump");
  const std::string work = work_.path().string();
  const struct {
    std::string from, given;
  } cases[] = {
      {dir_.string(), "."},
      {work, "./photos/"},
      {work + "/deep", "../photos"},
      {work_.path().parent_path().string(), work_.path().filename().string() + "/./photos"},
      {work, "deep//..//photos"},
      {work, "jump/../photos"},  // as text, as the shell's cd takes it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given);
    const std::string at = "cd '" + c.from + "' && LC_ALL=C.UTF-8";
    const Outcome x = run("-x --case upper --ext-case '" + c.given + "'", at);
    ASSERT_EQ(x.status, 0) << x.err;
    EXPECT_EQ(names(), (std::set<std::string>{"A 10.JPG", "A 9.JPG", "B 2.JPG"}));
    const Outcome undo = run("--undo", at);
    EXPECT_EQ(undo.status, 0) << undo.out << undo.err;
    EXPECT_EQ(names(), before);
  }
}

// Root's --undo never acts on a record another user wrote: it says so.
TEST_F(Cli, ARecordAnotherUserOwnsIsNotUndoneEvenByRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a record to another user";
  ASSERT_EQ(run("-x --case upper --ext-case " + dir()).status, 0);
  for (const auto& e : fs::directory_iterator(home_.path() / "records"))
    ASSERT_EQ(::chown(e.path().c_str(), 65534, 65534), 0);
  const Outcome undo = run("--undo");
  EXPECT_EQ(undo.status, 1);
  EXPECT_NE(undo.err.find("不属于当前用户"), std::string::npos) << undo.err;
  EXPECT_EQ(names(), (std::set<std::string>{"A 10.JPG", "A 9.JPG", "B 2.JPG"}));
}

TEST_F(Cli, JsonReadsBackAsOneObjectPerRow) {
  const Outcome r = run("--json --insert _x --at end " + dir());
  ASSERT_EQ(r.status, 0);
  const fs::path out = home_.path() / "plan.json";
  std::ofstream(out) << r.out;
  const std::string check =
      "python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); "
      "assert [(e['old'], e['new'], e['status'], e['reason']) for e in d] == "
      "[('a 9.jpg','a 9_x.jpg','rename',None), ('a 10.jpg','a 10_x.jpg','rename',None), "
      "('b 2.jpg','b 2_x.jpg','rename',None)], d\" '" +
      out.string() + "'";
  EXPECT_EQ(std::system(check.c_str()), 0);
}

// The program's records of passes, newest first.
std::vector<fs::path> recordsIn(const fs::path& home) {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(home))
    if (e.path().extension() == ".journal") out.push_back(e.path());
  std::sort(out.begin(), out.end(), std::greater<>());
  return out;
}

// Each row's reason and note as JSON gives them: "old|status|reason|note".
std::string jsonRows(const fs::path& json) {
  const std::string cmd =
      "python3 -c \"import json,sys\n"
      "for e in json.load(open(sys.argv[1])): print('|'.join(str(e[k]) for k in "
      "('old','status','reason','note')))\" '" +
      json.string() + "'";
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  pclose(p);
  return out;
}

TEST_F(Cli, EachRowSaysWhyInTextAndJson) {
  const fs::path why = work_.path() / "why";
  fs::create_directory(why);
  std::ofstream(why / "song.mp3") << "no tag in here";
  std::ofstream(why / "notes.txt") << "text";
  std::ofstream(why / "abc") << "abc";
  const std::string w = "'" + why.string() + "'";
  const struct {
    std::string args, rows;
  } cases[] = {
      {"--tags '#1' " + w,
       "abc|conflict|不支持的文件格式|None\nnotes.txt|conflict|不支持的文件格式|None\n"
       "song.mp3|conflict|没有标签|None\n"},
      {"--replace abc '' --on all " + w,
       "abc|conflict|文件名为空|None\nnotes.txt|unchanged|None|None\nsong.mp3|unchanged|None|None\n"},
      // The files are no photos: named by their modification time, and said so.
      {"--date x --date-source exif " + dir(),
       "a 9.jpg|rename|None|没有拍摄时间，用了修改时间\n"
       "a 10.jpg|rename|None|没有拍摄时间，用了修改时间\n"
       "b 2.jpg|rename|None|没有拍摄时间，用了修改时间\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome r = run("--json " + c.args);
    EXPECT_EQ(r.status, c.rows.find("conflict") != std::string::npos ? 1 : 0);
    const fs::path out = home_.path() / "plan.json";
    std::ofstream(out, std::ios::trunc) << r.out;
    EXPECT_EQ(jsonRows(out), c.rows);
  }
  const Outcome text = run("--date yyyy --date-source exif " + dir());
  EXPECT_NE(text.out.find("a 9.jpg → "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find(".jpg（没有拍摄时间，用了修改时间）\n"), std::string::npos) << text.out;
}

// Ctrl+C or SIGTERM before the pass (here already waiting when the program
// starts, so that it comes while the files are listed or read, whatever the
// machine's speed): nothing is renamed, nothing recorded, 128 + the signal.
TEST_F(Cli, ASignalWhileListingOrReadingEndsTheRunWithNothingRenamed) {
  const std::set<std::string> before = names();
  const std::string d = dir_.string();
  const struct {
    std::vector<std::string> args;
    int signal, status;
    const char* out;
  } cases[] = {
      {{"-x", "--case", "upper", d}, SIGINT, 130, ""},
      {{"-x", "--date", "yyyy", "--date-source", "exif", "--sort", "taken", d + "/a 9.jpg", d + "/b 2.jpg"},
       SIGTERM,
       143,
       ""},
      {{"--json", "--case", "upper", d}, SIGINT, 130, "[]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + std::to_string(c.signal));
    const fs::path out = home_.path() / "out", err = home_.path() / "err";
    const pid_t pid = ::fork();
    if (pid == 0) {
      sigset_t set;
      sigemptyset(&set);
      sigaddset(&set, c.signal);
      ::sigprocmask(SIG_BLOCK, &set, nullptr);
      ::kill(::getpid(), c.signal);  // pending through exec until the program takes it
      ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      ::setenv("LC_ALL", "C.UTF-8", 1);
      std::vector<char*> argv{const_cast<char*>(program_.c_str())};
      for (const std::string& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(program_.c_str(), argv.data());
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), c.status);
    EXPECT_EQ(slurp(out), c.out);
    EXPECT_NE(slurp(err).find("已停止"), std::string::npos) << slurp(err);
    EXPECT_EQ(names(), before);
    EXPECT_TRUE(recordsIn(home_.path()).empty());
  }
}

TEST_F(Cli, DatesNameAndSizesAndTimesOrder) {
  // Sizes 7, 8, 7 bytes; modification times set apart, two in one second.
  const auto at = [&](const char* n, int s) {
    fs::last_write_time(dir_ / n,
                        fs::file_time_type::clock::now() - std::chrono::hours(24) + std::chrono::seconds(s));
  };
  at("b 2.jpg", 0), at("a 10.jpg", 0), at("a 9.jpg", 60);
  const Outcome bySize = run("--sort size --reverse --number 1 " + dir());
  EXPECT_LT(bySize.out.find("a 10.jpg → 1.jpg"), bySize.out.find("a 9.jpg → 2.jpg")) << bySize.out;
  const Outcome byTime = run("--sort mtime --number 1 " + dir());
  EXPECT_LT(byTime.out.find("a 10.jpg → 2.jpg"), byTime.out.find("a 9.jpg → 3.jpg")) << byTime.out;
  const Outcome dated = run("-x --date 'yyyy年' --date-place prefix --date-sep - " + dir());
  EXPECT_EQ(dated.status, 0) << dated.out << dated.err;
  const std::string year = dated.out.substr(dated.out.find("→ ") + 4, 4);
  EXPECT_TRUE(names().contains(year + "年-a 9.jpg")) << dated.out;
  for (const std::string& args :
       {"--date x --date-source photo " + dir(), "--number 1 --date-place prefix " + dir(),
        "--sort date --number 1 " + dir()})
    EXPECT_EQ(run(args).status, 2) << args;
}

TEST_F(Cli, ANameInTheOldCodePageIsRenamedAndGivenBack) {
  const std::string gbkName = "\xb8\xe8.mp3";  // 歌.mp3 in GBK: not UTF-8
  std::ofstream(dir_ / gbkName) << "song";
  const Outcome x = run("-x --insert new_ --at 1 " + dir());
  EXPECT_EQ(x.status, 0) << x.out << x.err;
  EXPECT_TRUE(fs::exists(dir_ / ("new_" + gbkName)) || fs::exists(dir_ / "new_\xe6\xad\x8c.mp3"));
  EXPECT_EQ(run("--undo").status, 0);
  EXPECT_TRUE(fs::exists(dir_ / gbkName));
}

TEST_F(Cli, AFolderAwayKeepsItsRecordUntilItIsBackOrForgotten) {
  for (const bool forget : {false, true}) {
    SCOPED_TRACE(forget ? "forgotten" : "undone once back");
    const std::set<std::string> before = names();
    ASSERT_EQ(run("-x --case upper " + dir()).status, 0);
    const std::set<std::string> renamed = names();
    const fs::path away = work_.path() / "away";
    fs::rename(dir_, away);  // the card taken out
    const Outcome failed = run("--undo");
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.out.find("3 个文件撤消失败"), std::string::npos) << failed.out;
    fs::rename(away, dir_);
    if (forget) {
      const Outcome f = run("--forget");
      EXPECT_EQ(f.status, 0);
      EXPECT_NE(f.out.find("已忘记"), std::string::npos) << f.out;
      EXPECT_NE(f.out.find(dir_.string()), std::string::npos) << f.out;
      EXPECT_TRUE(recordsIn(home_.path()).empty());
      EXPECT_EQ(run("--undo").out, "没有需要撤消的文件。\n");
      EXPECT_EQ(names(), renamed);
      for (const auto& n : renamed) fs::rename(dir_ / n, dir_ / (char(std::tolower(n[0])) + n.substr(1)));
    } else {
      const Outcome again = run("--undo");
      EXPECT_EQ(again.status, 0) << again.out << again.err;
      EXPECT_NE(again.out.find("上一次的操作已经成功撤消！"), std::string::npos) << again.out;
      EXPECT_NE(again.out.find("撤消的是 "), std::string::npos) << again.out;
    }
    EXPECT_EQ(names(), before);
  }
}

TEST_F(Cli, TheNewestPassIsUndoneFirstAndOneCutShortBeforeItWaits) {
  const std::set<std::string> before = names();
  ASSERT_EQ(run("-x --case upper " + dir()).status, 0);
  // Killed before its last lines: what is on the disk decides.
  const fs::path cut = recordsIn(home_.path()).at(0);
  std::string lines = slurp(cut);
  lines.erase(lines.rfind("\nD ") + 1);
  std::ofstream(cut, std::ios::binary | std::ios::trunc) << lines;
  ASSERT_EQ(run("-x --insert new_ --at 1 " + dir()).status, 0);
  const std::set<std::string> upper = {"A 10.jpg", "A 9.jpg", "B 2.jpg"};
  EXPECT_EQ(run("--undo").status, 0);
  EXPECT_EQ(names(), upper);
  EXPECT_TRUE(fs::exists(cut));
  const Outcome older = run("--undo");
  EXPECT_EQ(older.status, 0) << older.out << older.err;
  EXPECT_EQ(names(), before);
  EXPECT_TRUE(recordsIn(home_.path()).empty());
}

TEST_F(Cli, AnUndoOfAPassOfAProgramStillRunningNamesItAndTouchesNothing) {
  ASSERT_EQ(run("-x --case upper " + dir()).status, 0);
  const std::set<std::string> renamed = names();
  // Held as a window holds the record of its last pass while it runs.
  const int fd = ::open(recordsIn(home_.path()).at(0).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  for (const char* action : {"--undo", "--forget"}) {
    const Outcome busy = run(action);
    EXPECT_EQ(busy.status, 1) << action;
    EXPECT_NE(busy.err.find("仍在运行"), std::string::npos) << busy.err;
    EXPECT_NE(busy.err.find(dir_.string() + "/ 的更名（3 个文件）"), std::string::npos) << busy.err;
    EXPECT_EQ(names(), renamed);
  }
  ::close(fd);
  EXPECT_EQ(run("--undo").status, 0);
  EXPECT_NE(names(), renamed);
}

// A FAT stick ignores case: a case-only rename goes through a temporary name
// and the undo brings the names back the same way.
TEST_F(Cli, AFolderOnAFuseMountRenamesAndUndoes) {
  const fs::path on = work_.path() / "stick";
  fs::create_directory(on);
  qorin::testing::FuseImage stick(qorin::testing::kFat, work_.path() / "stick.img", on);
  if (!stick.mounted()) GTEST_SKIP() << stick.skipReason();
  for (const char* n : {"one.txt", "two.txt"}) std::ofstream(on / n) << n;
  const std::string folder = "'" + on.string() + "'";
  ASSERT_EQ(run("-x --case upper " + folder).status, 0);
  std::set<std::string> now;
  for (const auto& e : fs::directory_iterator(on)) now.insert(e.path().filename().string());
  EXPECT_EQ(now, (std::set<std::string>{"ONE.txt", "TWO.txt"}));
  ASSERT_EQ(run("--undo").status, 0);
  EXPECT_TRUE(fs::exists(on / "one.txt") && fs::exists(on / "two.txt"));
}

TEST_F(Cli, OptionsAndValuesAreTakenAsOtherCommandLinesTakeThem) {
  const std::set<std::string> before = names();
  const struct {
    std::string args;
    int status;
    std::string said;  // on standard output for status 0, else on standard error
  } cases[] = {
      {"--bogus " + dir(), 2, "未知选项：--bogus"},
      {"--number 1 --prefix -x " + dir(), 2, "写成 --prefix=-x"},
      {"--number -5,1,3 " + dir(), 2, "写成 --number=-5,1,3"},
      {"--json=1 --number 1 " + dir(), 2, "--json 不带值"},
      {"--insert x --at 0 " + dir(), 2, "从 1 数起"},
      {"--max-depth 1 --number 1 " + dir(), 2, "只能与 -r 同用"},
      {"--number=-5,1,3 " + dir(), 0, "a 9.jpg → -05.jpg"},
      {"--prefix=-x --number 1 " + dir(), 0, "a 9.jpg → -x1.jpg"},
      {"--replace ' ' --with=-- " + dir(), 0, "a 9.jpg → a--9.jpg"},
      {"--replace ' ' - " + dir(), 0, "a 9.jpg → a-9.jpg"},
      {"--number 1 -- " + dir(), 0, "共 3 个文件"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome r = run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE((c.status == 0 ? r.out : r.err).find(c.said), std::string::npos) << r.out << r.err;
  }
  EXPECT_EQ(names(), before);
}

TEST_F(Cli, PathsComeFromArgumentsListsAndGlobsEachFileOnce) {
  fs::create_directories(dir_ / "sub" / "deep");
  std::ofstream(dir_ / "sub" / "s.jpg") << "s";
  std::ofstream(dir_ / "sub" / "deep" / "d.jpg") << "d";
  std::ofstream(dir_ / "notes.txt") << "t";
  const std::string d = dir_.string();
  const fs::path list = home_.path() / "list";
  std::ofstream(list) << d << "/a 9.jpg\r\n\n" << d << "/b 2.jpg\n";
  const struct {
    std::string env, args;
    int files;
  } cases[] = {
      {"", dir() + " " + dir() + " '" + d + "/a 9.jpg'", 4},
      {"", "-r " + dir(), 6},
      {"", "-r --max-depth 1 " + dir(), 5},
      {"", "-r --max-depth 0 " + dir(), 4},
      {"", "-r --include '*.jpg' --exclude 'b*' " + dir(), 4},
      {"", "--include '[!a]*' --include '*.txt' " + dir(), 2},
      {"", "--from '" + list.string() + "'", 2},
      {"printf '" + d + "/a 9.jpg\\n" + d + "/a 10.jpg\\n' | ", "-", 2},
      {"printf '" + d + "/a 9.jpg\\0" + d + "/a 9.jpg\\0' | ", "-0 --from -", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome r = run("--number 1 " + c.args, c.env + "LC_ALL=C.UTF-8");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("共 " + std::to_string(c.files) + " 个文件"), std::string::npos) << r.out;
  }
}

TEST_F(Cli, UnchangedRowsAreNoRenamesAndTheUndoNamesEachFile) {
  const std::set<std::string> before = names();
  const Outcome x = run("-x --replace a A " + dir());
  ASSERT_EQ(x.status, 0) << x.err;
  EXPECT_NE(x.out.find("  b 2.jpg（不变）\n"), std::string::npos) << x.out;
  EXPECT_NE(x.out.find("文件更名完毕！\n1 个文件名称不变。"), std::string::npos) << x.out;
  const Outcome undo = run("--undo");
  EXPECT_EQ(undo.status, 0) << undo.err;
  EXPECT_NE(undo.out.find(dir_.string() + "\n  a 9.jpg ← A 9.jpg（撤消成功）\n"), std::string::npos)
      << undo.out;
  EXPECT_EQ(undo.out.find("b 2.jpg"), std::string::npos) << undo.out;
  EXPECT_EQ(names(), before);

  ASSERT_EQ(run("-x --replace a A " + dir()).status, 0);
  const fs::path out = home_.path() / "undo.json";
  std::ofstream(out) << run("--undo --json").out;
  EXPECT_EQ(jsonRows(out), "a 9.jpg|undone|None|None\na 10.jpg|undone|None|None\n");
  EXPECT_EQ(names(), before);
}

TEST_F(Cli, NamesStayOneLineAndColourIsForATerminalOnly) {
  std::ofstream(dir_ / "new\nline\x1b.jpg") << "x";
  const Outcome plan = run("--insert _ --at end " + dir());
  EXPECT_NE(plan.out.find("  new\\nline\\x1b.jpg → new\\nline\\x1b_.jpg\n"), std::string::npos) << plan.out;
  EXPECT_EQ(plan.out.find('\x1b'), std::string::npos);
  // On a terminal (script gives one): coloured, unless NO_COLOR is set.
  if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) for a terminal";
  for (const std::string env : {"", "NO_COLOR= "}) {
    SCOPED_TRACE(env);
    const std::string inner =
        env + "TERM=xterm LC_ALL=C.UTF-8 '" + program_.string() + "' --case upper " + dir();
    const Outcome t = run("", "script -qec \"" + inner + "\" /dev/null; true ||");
    EXPECT_EQ(t.out.find("\x1b[32m") != std::string::npos, env.empty()) << t.out;
  }
}

// One folder at two paths (a bind mount) is one folder to the plan as to the
// pass: its files are not renamed twice.
TEST_F(Cli, ThePlanKnowsAFolderByWhatItIs) {
  if (::geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
    GTEST_SKIP() << "no mount namespace";
  const fs::path again = work_.path() / "again";
  fs::create_directory(again);
  const std::string mount =
      "unshare -m sh -c \"mount --bind " + dir() + " '" + again.string() + "' && LC_ALL=C.UTF-8";
  for (const char* x : {"", "-x "}) {
    SCOPED_TRACE(x);
    const Outcome r = run(std::string(x) + "--number 1 " + dir() + " '" + again.string() + "'\"", mount);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("与第1行是同一个文件"), std::string::npos) << r.out;
  }
}

// The lock a pass holds on its folder, taken here as another copy of the
// program would: the file in the program's own folder, flock'ed.
int holdFolder(const fs::path& home, const fs::path& dir) {
  struct stat st {};
  EXPECT_EQ(::stat(dir.c_str(), &st), 0);
  fs::create_directories(home / "locks");
  fs::permissions(home / "locks", fs::perms::owner_all);
  char name[64];
  std::snprintf(name, sizeof name, "%llx-%llx.lock", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  const int fd = ::open((home / "locks" / name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  EXPECT_EQ(::flock(fd, LOCK_EX), 0);
  return fd;
}

TEST_F(Cli, AFolderAnotherPassHoldsEndsTheRunAtOnceOrIsWaitedFor) {
  const std::set<std::string> before = names();
  const std::set<std::string> upper = {"A 10.JPG", "A 9.JPG", "B 2.JPG"};
  const std::string busy = "另一个更名正在这个文件夹里进行：" + dir_.string() + "/";
  const int held = holdFolder(home_.path(), dir_);
  const Outcome x = run("-x --case upper --ext-case " + dir());
  EXPECT_EQ(x.status, 1);
  EXPECT_NE(x.err.find(busy), std::string::npos) << x.err;
  EXPECT_EQ(names(), before);

  // --wait: it says it waits, and renames once the folder is let go.
  int err[2];
  ASSERT_EQ(::pipe(err), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(err[1], 2);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::execl(program_.c_str(), program_.c_str(), "-x", "--wait", "--case", "upper", "--ext-case", dir_.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(err[1]);
  std::string said;
  char buf[512];
  for (ssize_t n; said.find("Ctrl+C") == std::string::npos && (n = ::read(err[0], buf, sizeof buf)) > 0;)
    said.append(buf, static_cast<std::size_t>(n));
  EXPECT_NE(said.find(busy), std::string::npos) << said;
  EXPECT_EQ(names(), before);
  ::close(held);
  while (::read(err[0], buf, sizeof buf) > 0) {
  }
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(names(), upper);
}

}  // namespace

// Every option a rule declares is parsed, and named in --help, in both
// manual pages and in the completion, all made from the declarations.
TEST(CliRules, EveryDeclaredOptionParsesAndIsDescribedEverywhere) {
  const std::string program = QORIN_CLI_PATH;
  const auto docs = [](const char* name) { return slurp(fs::path(QORIN_CLI_DOCS) / name); };
  const std::string en = docs("qorin-cli.1"), zh = docs("qorin-cli.zh_CN.1"), bash = docs("qorin-cli.bash");
  qorin::testing::TempDir dir;
  std::ofstream(dir.path() / "a.txt") << "a";
  std::string help;
  {
    FILE* p = popen(("'" + program + "' --help").c_str(), "r");
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) help.append(buf, n);
    pclose(p);
  }
  for (const qorin::cli::RuleText& rule : qorin::cli::ruleTexts()) {
    std::string args;
    for (const qorin::cli::OptionText& o : rule.options) {
      SCOPED_TRACE(std::string(o.option));
      args += " " + std::string(o.option);
      if (o.takesValue) args += " " + (o.words.empty() ? std::string("1") : std::string(o.words.front()));
      if (o.takesTwo) args += " 1";
      std::string roff;
      for (char c : o.option) roff += c == '-' ? std::string("\\-") : std::string(1, c);
      EXPECT_NE(help.find(std::string(o.option) + " "), std::string::npos);
      EXPECT_NE(en.find(roff), std::string::npos);
      EXPECT_NE(zh.find(roff), std::string::npos);
      EXPECT_NE(bash.find(" " + std::string(o.option) + " "), std::string::npos);
    }
    SCOPED_TRACE(args);
    const int status = WEXITSTATUS(std::system(
        ("LC_ALL=C.UTF-8 '" + program + "'" + args + " '" + dir.path().string() + "' >/dev/null 2>&1")
            .c_str()));
    EXPECT_NE(status, 2);
  }
}

TEST_F(Cli, APresetSavedInTheWindowIsTheRuleAndItsOptionsStillApply) {
  std::ofstream(home_.path() / "presets.ini")
      << "[照片]\r\n规则=general\r\n起始量编辑框=7\r\n文件名前缀编辑框=p\r\n文件名位数调节编辑框=2\r\n";
  const Outcome plain = run("--preset 照片 " + dir());
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.out.find("p09.jpg"), std::string::npos) << plain.out;
  const Outcome changed = run("--preset 照片 --suffix s " + dir());
  EXPECT_NE(changed.out.find("p09s.jpg"), std::string::npos) << changed.out;
  const Outcome wrong[] = {run("--preset 别的 " + dir()), run("--preset 照片 --regex " + dir()),
                           run("--preset 照片 --case upper " + dir())};
  for (const Outcome& r : wrong) EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(wrong[0].err.find("没有名为“别的”的方案"), std::string::npos) << wrong[0].err;
}
