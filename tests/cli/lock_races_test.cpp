// Two runs, a signal or another program at the same file, put between two
// steps of a lock or a save on purpose: one run is held at a named point of
// the file layer (io/test_points.h) while the other thing happens, then let
// go. Each race is tried in both orders.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <set>
#include <thread>

#include "io/test_points.h"
#include "tests/cli/cli_harness.h"
#include "tests/cli/test_books.h"

namespace lczs::testing {
namespace {

namespace fs = std::filesystem;
namespace points = io::test_points;

std::set<std::string> listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

struct Ended {
  int exit_code = -1;  // -1: ended by a signal
  int signal = 0;
  std::string out;  // the message boxes
  std::string err;
};

// A run of lczs that stops at `point` until released. Its standard streams
// go to files of its own folder, never the book's.
class HeldRun {
 public:
  HeldRun(const std::vector<std::string>& args, const char* point) : pause_(io_.file("pause")) {
    int out = ::open(io_.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = start_lczs(args, out, io_.file("err"),
                      {std::string("LCZS_TEST_PAUSE=") + point, "LCZS_TEST_PAUSE_FILE=" + pause_});
    ::close(out);
  }
  ~HeldRun() {
    if (pid_ > 0 && !ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  HeldRun(const HeldRun&) = delete;
  HeldRun& operator=(const HeldRun&) = delete;

  pid_t pid() const { return pid_; }
  // Whether it stopped at its point (false when it ended first).
  bool held() {
    for (int i = 0; i < 60000 && pid_ > 0; ++i) {
      if (read_file(pause_) != "") return true;
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        ADD_FAILURE() << "ended before its point: " << read_file(io_.file("err"));
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }
  void signal(int sig) const { ::kill(pid_, sig); }
  void release() const { ::unlink(pause_.c_str()); }
  Ended end() {
    Ended e;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ended_ = true;
    if (WIFEXITED(status)) e.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) e.signal = WTERMSIG(status);
    e.out = read_file(io_.file("out"));
    e.err = read_file(io_.file("err"));
    return e;
  }

 private:
  TempDir io_;
  std::string pause_;
  pid_t pid_ = -1;
  bool ended_ = false;
};

// The races hold runs at the file layer's points, which only a build with
// LCZS_TEST_POINTS has.
class LockRaces : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef LCZS_TEST_POINTS
    GTEST_SKIP() << "built without LCZS_TEST_POINTS";
#endif
  }
};

std::vector<std::string> prof(const std::string& book) { return {"proficiency", book, "--yes"}; }
std::vector<std::string> exam(const std::string& book, const std::string& report) {
  return {"exam", book, "--cohort", "2001", "--grade", "G1", "--save-name", report, "--yes"};
}
std::vector<std::string> classdiv(const std::string& book) {
  return {"classdiv", book, "--classes", "2", "--minutes", "0", "--yes"};
}
std::string pid_text(pid_t pid) { return "进程号 " + std::to_string(pid); }

// A run told to stop while it tries a lock another run holds leaves that
// lock in place, so a third run is still refused; a run that takes the lock
// and is stopped removes its own lock file.
TEST_F(LockRaces, AStoppedRunNeverRemovesALockItDoesNotHold) {
  struct Race {
    const char* name;
    bool first_holds;     // a first run holds the lock throughout
    const char* point;    // where the second run is stopped
  };
  const Race races[] = {
      {"stopped with the holder's file open", true, points::kLockOpened},
      {"stopped after being refused", true, points::kLockRefused},
      {"stopped with its own new lock file open", false, points::kLockOpened},
  };
  for (const Race& race : races) {
    SCOPED_TRACE(race.name);
    TempDir dir;
    const std::string book = dir.file("成绩.xlsx");
    write_grades_book_at(book);
    std::unique_ptr<HeldRun> first;
    if (race.first_holds) {
      first = std::make_unique<HeldRun>(prof(book), points::kLockHeld);
      ASSERT_TRUE(first->held());
    }
    HeldRun second(prof(book), race.point);
    ASSERT_TRUE(second.held());
    second.signal(SIGINT);
    second.release();
    Ended stopped = second.end();
    EXPECT_EQ(stopped.signal, SIGINT) << stopped.err;
    if (race.first_holds) {
      EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"成绩.xlsx", ".成绩.xlsx.lczs-lock"}));
      CliResult third = run_lczs(prof(book));
      EXPECT_EQ(third.exit_code, 3);
      EXPECT_NE(third.err.find("正在被另一个 lczs 使用（" + pid_text(first->pid())), std::string::npos) << third.err;
      first->release();
      Ended done = first->end();
      EXPECT_EQ(done.exit_code, 0) << done.err;
      EXPECT_TRUE(has_sheet(book, "会考成绩分析"));
    }
    EXPECT_EQ(listing(dir.path()), std::set<std::string>{"成绩.xlsx"});
  }
}

// The holder ends while a second run has its lock file open: the second
// finds the file gone from the folder, opens a new one (held there a
// second time) and locks it.
TEST_F(LockRaces, ARunThatOpenedALockFileJustRemovedTakesANewOne) {
  TempDir dir;
  const std::string book = dir.file("成绩.xlsx"), out = dir.file("副本.xlsx");
  write_grades_book_at(book);
  std::vector<std::string> copy = prof(book);
  copy.insert(copy.end(), {"-o", out});
  HeldRun first(copy, points::kLockHeld);
  ASSERT_TRUE(first.held());
  HeldRun second(copy, points::kLockOpened);
  ASSERT_TRUE(second.held());
  first.release();
  Ended first_done = first.end();
  EXPECT_EQ(first_done.exit_code, 0) << first_done.err;
  second.release();
  ASSERT_TRUE(second.held());
  second.release();
  Ended done = second.end();
  EXPECT_EQ(done.exit_code, 0) << done.err;
  EXPECT_TRUE(has_sheet(out, "会考成绩分析"));
  EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"成绩.xlsx", "副本.xlsx"}));
}

// Every file a run writes is locked from the moment its name is known: a
// report named in the exam's form, and the book a class division saves in
// place. Whichever comes second is refused before any work, naming the
// first, and the first saves.
TEST_F(LockRaces, AReportAndABookSavedInPlaceAreLockedAgainstEachOther) {
  struct Race {
    const char* name;
    std::vector<std::string> (*first)(const fs::path& dir);
    std::vector<std::string> (*second)(const fs::path& dir);
    const char* first_writes;  // the file the first run saves
    const char* proof;         // a sheet only the first run's result has
  };
  auto division = [](const fs::path& dir) { return classdiv((dir / "R.xlsx").string()); };
  auto report_r = [](const fs::path& dir) { return exam((dir / "e.xlsx").string(), "R"); };
  auto report_r_again = [](const fs::path& dir) { return exam((dir / "f.xlsx").string(), "R"); };
  const Race races[] = {
      {"a report over a book being divided", division, report_r, "R.xlsx", "名单"},
      {"a division of a book being written as a report", report_r, division, "R.xlsx", "封面"},
      {"two reports of the same name", report_r, report_r_again, "R.xlsx", "封面"},
  };
  for (const Race& race : races) {
    SCOPED_TRACE(race.name);
    TempDir dir;
    write_classdiv_book_at(dir.file("R.xlsx"));
    write_exam_book_at(dir.file("e.xlsx"));
    write_exam_book_at(dir.file("f.xlsx"));
    const std::string before = read_file(dir.file("R.xlsx"));
    HeldRun first(race.first(dir.path()), points::kLockHeld);
    ASSERT_TRUE(first.held());
    CliResult second = run_lczs(race.second(dir.path()));
    EXPECT_EQ(second.exit_code, 3) << second.out << second.err;
    EXPECT_NE((second.out + second.err).find("正在被另一个 lczs 使用（" + pid_text(first.pid())), std::string::npos)
        << second.out << second.err;
    EXPECT_EQ(read_file(dir.file("R.xlsx")), before);
    first.release();
    Ended done = first.end();
    EXPECT_EQ(done.exit_code, 0) << done.err;
    EXPECT_NE(read_file(dir.file(race.first_writes)), before);
    EXPECT_TRUE(has_sheet(dir.file(race.first_writes), race.proof));
    EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"R.xlsx", "e.xlsx", "f.xlsx"}));
  }
}

// A killed save leaves its temporary file; the next run that takes the same
// target's lock removes it and says so, and a run refused the lock removes
// nothing, not even the temporary file the holder is writing.
TEST_F(LockRaces, LeftoverTemporariesGoWithTheNextLockNeverALiveRuns) {
  TempDir dir;
  const std::string book = dir.file("e.xlsx");
  write_exam_book_at(book);
  write_file(dir.file(".R.xlsx.lczs-Ab3dE9"), "PK\x03\x04 cut short by a kill");
  HeldRun writing(exam(book, "R"), points::kSaveWritten);
  ASSERT_TRUE(writing.held());
  std::set<std::string> live = listing(dir.path());
  EXPECT_EQ(live.count(".R.xlsx.lczs-Ab3dE9"), 0u);
  EXPECT_EQ(live.size(), 3u);  // the book, R's lock and R's temporary file being written
  CliResult refused = run_lczs(exam(book, "R"));
  EXPECT_EQ(refused.exit_code, 3) << refused.out << refused.err;
  EXPECT_EQ(listing(dir.path()), live);
  writing.release();
  Ended done = writing.end();
  EXPECT_EQ(done.exit_code, 0) << done.err;
  EXPECT_NE(done.err.find("已删除上次中断的保存留下的临时文件"), std::string::npos) << done.err;
  EXPECT_NE(done.err.find(".R.xlsx.lczs-Ab3dE9"), std::string::npos) << done.err;
  EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"e.xlsx", "R.xlsx"}));
}

// Every legal name has its temporary file and its lock, up to the longest
// a folder allows, where the hidden names cannot simply add to it.
TEST_F(LockRaces, TheLongestNamesAreSavedAndLocked) {
  const std::string chinese = "成绩";  // 6 bytes
  for (std::size_t bytes : {200u, 242u, 243u, 245u, 250u, 254u, 255u}) {
    for (bool wide : {false, true}) {
      SCOPED_TRACE(std::to_string(bytes) + (wide ? " bytes, Chinese" : " bytes"));
      TempDir dir;
      std::string stem;
      while (stem.size() + 5 + (wide ? chinese.size() : 1) <= bytes) stem += wide ? chinese : "x";
      while (stem.size() + 5 < bytes) stem += "y";
      const std::string book = dir.file(stem + ".xlsx");
      ASSERT_EQ(fs::path(book).filename().string().size(), bytes);
      write_grades_book_at(book);
      HeldRun first(prof(book), points::kSaveWritten);
      ASSERT_TRUE(first.held());
      EXPECT_EQ(listing(dir.path()).size(), 3u);  // the book, its lock and its temporary file
      CliResult second = run_lczs(prof(book));
      EXPECT_EQ(second.exit_code, 3) << second.err;
      EXPECT_NE(second.err.find("正在被另一个 lczs 使用"), std::string::npos) << second.err;
      first.release();
      Ended done = first.end();
      EXPECT_EQ(done.exit_code, 0) << done.err;
      EXPECT_TRUE(has_sheet(book, "会考成绩分析"));
      EXPECT_EQ(listing(dir.path()), std::set<std::string>{stem + ".xlsx"});
    }
  }
}

// A colleague saves the book from another program while a class division
// works on it. Saved before the run reads it, the book is divided with the
// colleague's sheet; saved after, at any point until the division's save
// replaces it, the book keeps the colleague's version and the division is
// kept beside it, both named.
TEST_F(LockRaces, ABookChangedByAnotherProgramDuringTheRunIsNotReplaced) {
  struct Race {
    const char* point;  // where the division is held while the colleague saves
    bool replaced;      // the division's save replaces the book
  };
  const Race races[] = {
      {points::kLockHeld, true},
      {points::kBookRead, false},
      {points::kSaveWritten, false},
  };
  for (const Race& race : races) {
    SCOPED_TRACE(race.point);
    TempDir dir;
    const std::string book = dir.file("R.xlsx"), kept = dir.file("R（栎川助手结果）.xlsx");
    write_classdiv_book_at(book);
    HeldRun division(classdiv(book), race.point);
    ASSERT_TRUE(division.held());
    memory::WorkbookData theirs = io::read_workbook(book);
    memory::add_sheet(theirs, "同事的备注", {{"下周一交"}});
    io::write_xlsx(theirs, book);
    const std::string colleagues = read_file(book);
    division.release();
    Ended done = division.end();
    EXPECT_TRUE(has_sheet(book, "同事的备注"));
    if (race.replaced) {
      EXPECT_EQ(done.exit_code, 0) << done.err;
      EXPECT_EQ(io::read_workbook(book).sheets[0]->get(2, 2)->value.as_number(), 1);
      EXPECT_EQ(listing(dir.path()), std::set<std::string>{"R.xlsx"});
    } else {
      EXPECT_EQ(done.exit_code, 3) << done.err;
      EXPECT_NE(done.out.find("工作簿“" + book + "”在本次运行期间被其他程序改动过"), std::string::npos) << done.out;
      EXPECT_NE(done.out.find("本次的结果保存在“" + kept + "”"), std::string::npos) << done.out;
      EXPECT_NE(done.err.find("已保存：" + kept), std::string::npos) << done.err;
      EXPECT_EQ(read_file(book), colleagues);
      EXPECT_FALSE(has_sheet(kept, "同事的备注"));
      EXPECT_EQ(io::read_workbook(kept).sheets[0]->get(2, 2)->value.as_number(), 1);
      EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"R.xlsx", "R（栎川助手结果）.xlsx"}));
    }
  }
}

}  // namespace
}  // namespace lczs::testing
