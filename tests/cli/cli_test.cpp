#include <gtest/gtest.h>
#include <cstdlib>
#include <poll.h>
#include <pty.h>

#include "model/memory_host.h"
#include "io/io.h"
#include "tests/cli/cli_harness.h"

namespace lczs::testing {
namespace {

using memory::Lit;

// A class-division input sheet: 统一学号, 班级, 姓名, 性别, three subjects, 总分.
std::string write_classdiv_book(const TempDir& dir, const std::string& name) {
  memory::WorkbookData book;
  std::vector<std::vector<Lit>> rows = {{"统一学号", "班级", "姓名", "性别", "语文", "数学", "英语", "总分"}};
  for (int i = 1; i <= 12; ++i) {
    int a = 60 + (i * 7) % 40, b = 55 + (i * 11) % 45, c = 70 + (i * 5) % 30;
    rows.push_back({i, nullptr, "学生" + std::to_string(i), i % 2 ? "男" : "女", a, b, c, a + b + c});
  }
  memory::add_sheet(book, "名单", rows);
  memory::add_sheet(book, "说明", {{"这里没有数据"}});
  book.active_sheet = 0;
  std::string path = dir.file(name);
  io::write_xlsx(book, path);
  return path;
}

// An exam input sheet: 班级, 学号, 姓名 and three subjects.
std::string write_exam_book(const TempDir& dir, const std::string& name) {
  memory::WorkbookData book;
  std::vector<std::vector<Lit>> rows = {{"班级", "学号", "姓名", "语文", "数学", "英语"}};
  for (int i = 1; i <= 10; ++i)
    rows.push_back({1 + i % 2, i, "学生" + std::to_string(i), 60 + i * 3, 90 - i * 2, 70 + (i * 7) % 20});
  memory::add_sheet(book, "成绩", rows);
  std::string path = dir.file(name);
  io::write_xlsx(book, path);
  return path;
}

TEST(Cli, MenuPrintsTheInstalledMenu) {
  CliResult r = run_lczs({"menu"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "栎川助手(&Z) ▸\n"
            "  分班 ▸\n"
            "    开始分班\n"
            "    帮助  [图标 983]\n"
            "  成绩分析 ▸\n"
            "    普通考试成绩分析(年级)\n"
            "    会考成绩分析\n"
            "  ──────────\n"
            "  关于栎川助手...  [图标 49]\n");
}

TEST(Cli, AboutShowsTheFormOnStandardErrorAndCloses) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"about"}, {"--yes", "about"}, {"about", "--yes"}, {"关于"}}) {
    CliResult r = run_lczs(args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "");  // no message box
    EXPECT_NE(r.err.find("关于栎川助手v2.0"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("按“确定”"), std::string::npos) << r.err;
  }
}

TEST(Cli, UsageErrorsExitWith2) {
  TempDir dir;
  std::string book = write_classdiv_book(dir, "分班.xlsx");
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{}, "COMMAND"},
      {{"clasdiv", book}, "classdiv"},
      {{"exma"}, "exam"},
      {{"classdiv"}, "BOOK"},
      {{"exam", book, "--classes", "6"}, "--classes"},
      {{"--cohort", "2001", "classdiv", book}, "--cohort"},
      {{"about", "--bogus"}, "--bogus"},
      {{"menu", book, "--sheet", "不存在"}, "不存在"},
      {{"classdiv", book, "-o", dir.file("out.csv")}, ".xlsx"},
      {{"classdiv", book, "-o", book}, "-o"},
      {{"exam", book, "--top", "1,2,3,4"}, "--top"},
      {{"menu", book, "extra"}, "extra"},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    CliResult r = run_lczs(c.args);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  CliResult help = run_lczs({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char* name : {"classdiv", "exam", "proficiency", "fbhelp", "about", "menu", "--max-diff"})
    EXPECT_NE(help.out.find(name), std::string::npos) << name;
}

TEST(Cli, AFileThatCannotBeReadExitsWith3) {
  TempDir dir;
  write_file(dir.file("坏.xlsx"), "this is not a workbook");
  for (const auto& path : {dir.file("坏.xlsx"), dir.file("没有.xlsx")}) {
    CliResult r = run_lczs({"classdiv", path, "--classes", "2", "--yes"});
    EXPECT_EQ(r.exit_code, 3) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(r.err.empty());
  }
}

TEST(Cli, ACsvBookIsSavedBesideAsXlsxButNeverOverAnExistingOne) {
  TempDir dir;
  std::string csv = "统一学号,班级,姓名,性别,语文,数学,英语,总分\n";
  for (int i = 1; i <= 8; ++i)
    csv += std::to_string(i) + ",,学生" + std::to_string(i) + (i % 2 ? ",男," : ",女,") +
           std::to_string(60 + i) + "," + std::to_string(70 + 2 * i) + "," + std::to_string(80 - i) +
           "," + std::to_string(210 + 2 * i) + "\n";
  write_file(dir.file("名单.csv"), csv);
  const std::vector<std::string> args = {"classdiv", dir.file("名单.csv"), "--classes", "2", "--minutes", "0.01"};
  CliResult first = run_lczs(args);
  EXPECT_EQ(first.exit_code, 0) << first.out << first.err;
  EXPECT_EQ(read_file(dir.file("名单.csv")), csv);
  const std::string saved = read_file(dir.file("名单.xlsx"));
  EXPECT_FALSE(saved.empty());
  CliResult second = run_lczs(args);
  EXPECT_EQ(second.exit_code, 3) << second.out << second.err;
  EXPECT_EQ(second.out, "");  // refused before anything ran
  EXPECT_EQ(read_file(dir.file("名单.xlsx")), saved);
}

TEST(Cli, OptionsStandBeforeOrAfterTheCommandAndTheSheetIsChosen) {
  TempDir dir;
  std::string book = write_classdiv_book(dir, "分班.xlsx");
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--sheet", "说明", "menu", book}, {"menu", book, "--sheet", "说明"}, {"菜单", "--sheet=说明", book}}) {
    CliResult r = run_lczs(args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
  }
}

TEST(Cli, WorkingOnACopyNeverWritesTheBook) {
  TempDir dir;
  std::string book = write_classdiv_book(dir, "分班.xlsx");
  const std::string before = read_file(book);
  std::string out = dir.file("结果/分班结果.xlsx");
  std::filesystem::create_directory(dir.path() / "结果");
  CliResult r = run_lczs({"--classes", "2", "classdiv", book, "--minutes", "0.01", "-o", out});
  EXPECT_EQ(read_file(book), before);
  EXPECT_EQ(r.out.rfind("[栎川提示]\n开始分班，请先选中分班数据所在的工作表，继续吗？\n→ 确定\n", 0), 0u)
      << r.out;
  if (r.exit_code == 0) {
    EXPECT_TRUE(std::filesystem::exists(out));
    EXPECT_NE(r.out.find("分班结束!"), std::string::npos) << r.out;
  } else {
    ADD_FAILURE() << "classdiv did not complete: " << r.exit_code << "\n" << r.out << r.err;
  }

  // A refused value stops the run: the form that comes back is cancelled.
  CliResult stopped = run_lczs({"classdiv", book, "--classes", "abc", "-o", dir.file("x.xlsx")});
  EXPECT_EQ(stopped.exit_code, 1) << stopped.out << stopped.err;
  EXPECT_NE(stopped.out.find("数据类型错误，请重新输入!"), std::string::npos) << stopped.out;
  EXPECT_FALSE(std::filesystem::exists(dir.file("x.xlsx")));
  EXPECT_EQ(read_file(book), before);
}

TEST(Cli, ABookWithContentTheModelCannotCarryIsWorkedOnlyIntoACopy) {
  TempDir dir;
  std::string book = write_classdiv_book(dir, "分班.xlsx");
  const std::string add_comment =
      "/usr/bin/python3 -c \"import sys, openpyxl; from openpyxl.comments import Comment; "
      "wb = openpyxl.load_workbook(sys.argv[1]); wb.worksheets[0]['A1'].comment = Comment('x', 'y'); "
      "wb.save(sys.argv[1])\" '" + book + "'";
  ASSERT_EQ(std::system(add_comment.c_str()), 0);
  const std::string before = read_file(book);

  CliResult in_place = run_lczs({"classdiv", book, "--classes", "2", "--minutes", "0.01"});
  EXPECT_EQ(in_place.exit_code, 3) << in_place.out << in_place.err;
  EXPECT_EQ(in_place.out, "");  // refused on opening, before any dialog
  EXPECT_NE(in_place.err.find("批注"), std::string::npos) << in_place.err;

  const std::string copy = dir.file("副本.xlsx");
  CliResult r = run_lczs({"classdiv", book, "--classes", "2", "--minutes", "0.01", "-o", copy});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(std::filesystem::exists(copy));
  EXPECT_EQ(read_file(book), before);
}

TEST(Cli, TheExamSavesAsInTheOutputsFolderAndNeverOverTheBook) {
  TempDir dir;
  std::string book = write_exam_book(dir, "成绩.xlsx");
  const std::string before = read_file(book);
  std::filesystem::create_directory(dir.path() / "out");
  CliResult r = run_lczs({"exam", book, "--cohort", "2001", "--grade", "G1", "--save-name", "期中分析",
                          "--top", "3", "-o", dir.file("out/副本.xlsx")});
  EXPECT_EQ(read_file(book), before);
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir.file("out/期中分析.xlsx"))) << r.out << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("期中分析.xlsx")));

  // A save name that is the book itself: refused, the run stops, BOOK stays.
  CliResult same = run_lczs({"exam", book, "--cohort", "2001", "--grade", "G1", "--save-name", "成绩"});
  EXPECT_EQ(read_file(book), before);
  EXPECT_NE(same.exit_code, 0) << same.out << same.err;
}

TEST(Cli, ReplacingAFileAsksFirst) {
  TempDir dir;
  std::string book = write_exam_book(dir, "成绩.xlsx");
  std::filesystem::create_directory(dir.path() / "out");
  const std::vector<std::string> args = {"exam", book, "--cohort", "2001", "--grade", "G1",
                                         "--save-name", "期中分析", "-o", dir.file("out/副本.xlsx")};
  CliResult first = run_lczs(args);
  ASSERT_EQ(first.exit_code, 0) << first.out << first.err;
  EXPECT_EQ(first.out.find("已存在"), std::string::npos);
  CliResult second = run_lczs(args);
  EXPECT_EQ(second.exit_code, 0) << second.out << second.err;
  const std::string asked = "[栎川提示]\n文件“" + dir.file("out/期中分析.xlsx") + "”已存在。要替换它吗？\n→ 确定\n";
  EXPECT_NE(second.out.find(asked), std::string::npos) << second.out;

  // On the terminal, declining keeps the file: the save-as fails, the job
  // goes on under the old name (the output) and reports its end.
  const std::string report = read_file(dir.file("out/期中分析.xlsx"));
  // 确定; 继续执行>> (the second button of ksgssz); three texts, six empty band boxes; 确定; 取消
  std::string answers = "1\n2\n2001\nG1\n期中分析\n\n\n\n\n\n\n1\n2\n";
  CliResult declined = run_lczs({"exam", book, "-o", dir.file("out/副本.xlsx")}, answers, "",
                                {"LCZS_UI=terminal"});
  EXPECT_NE(declined.out.find("要替换它吗？\n→ 取消\n"), std::string::npos) << declined.out << declined.err;
  EXPECT_EQ(read_file(dir.file("out/期中分析.xlsx")), report);
}

TEST(Cli, TheHelpFormIsShownAndClosed) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"fbhelp"}, {"帮助", "--yes"}}) {
    CliResult r = run_lczs(args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("分班帮助"), std::string::npos) << r.err;
  }
}

// The terminal backend through a real terminal: the About form is asked for
// and closed with its button; at end of input it is closed without looping.
TEST(Cli, OnATerminalTheFormIsAskedFor) {
  for (const std::string input : {"1\n", "\x04"}) {
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      unsetenv("LCZS_UI");
      execl(LCZS_BINARY, LCZS_BINARY, "about", static_cast<char*>(nullptr));
      _exit(127);
    }
    std::string seen;
    bool sent = false;
    char buf[4096];
    for (int rounds = 0; rounds < 200; ++rounds) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        seen.append(buf, static_cast<std::size_t>(n));
      }
      if (!sent && seen.find("0) 关闭窗口") != std::string::npos) {
        ASSERT_EQ(write(master, input.data(), input.size()), static_cast<ssize_t>(input.size()));
        sent = true;
      }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    EXPECT_TRUE(sent) << seen;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
    EXPECT_NE(seen.find("=== 关于栎川助手v2.0 ==="), std::string::npos) << seen;
  }
}

}  // namespace
}  // namespace lczs::testing
