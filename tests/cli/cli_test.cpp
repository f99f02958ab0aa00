#include <gtest/gtest.h>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <pty.h>

#include "model/memory_host.h"
#include "io/io.h"
#include "tests/cli/cli_harness.h"
#include "tests/cli/test_books.h"
#include "ui/console.h"

namespace lczs::testing {
namespace {

using memory::Lit;

std::string write_classdiv_book(const TempDir& dir, const std::string& name) {
  write_classdiv_book_at(dir.file(name));
  return dir.file(name);
}

std::string write_exam_book(const TempDir& dir, const std::string& name) {
  write_exam_book_at(dir.file(name));
  return dir.file(name);
}

// A command that adds an array formula, content the model cannot carry, on
// a sheet of its own so that no job step meets it.
std::string add_array_formula(const std::string& book) {
  return "/usr/bin/python3 -c \"import sys, openpyxl; wb = openpyxl.load_workbook(sys.argv[1]); "
         "ws = wb.create_sheet('备注'); ws['A1'] = 1; ws['B1'] = '=SUM(A1:A1)'; "
         "ws.formula_attributes['B1'] = {'t': 'array', 'ref': 'B1'}; wb.save(sys.argv[1])\" '" + book + "'";
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

// The command's own texts: help, usage and every refusal of a command line,
// in Chinese and with a suggestion where one is close.
TEST(Cli, HelpAndUsageErrors) {
  TempDir dir;
  std::string book = write_classdiv_book(dir, "分班.xlsx");
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string says;  // on standard output when the exit code is 0, else on standard error
  };
  const std::vector<Case> cases = {
      {{}, 2, "命令：classdiv（分班）、"},
      {{"--version"}, 0, "lczs（栎川助手）"},
      {{"--help"}, 0, "  proficiency, 会考"},
      {{"help", "考试"}, 0, "  --save-name 文件名  保存文件名"},
      {{"classdiv", "--help"}, 0, "“分班相关数据设置”窗体的选项：\n  --classes K "},
      {{"--bogus"}, 2, "没有选项 --bogus。"},
      {{"about", "--clases", "3"}, 2, "你是不是想输入 --classes？"},
      {{"profic", book}, 2, "你是不是想输入 proficiency？"},
      {{"会", book}, 2, "你是不是想输入 proficiency？"},
      {{"clasdiv", book}, 2, "你是不是想输入 classdiv？"},
      {{"help", "nothing"}, 2, "没有命令“nothing”"},
      {{"classdiv"}, 2, "要在一个工作簿上做"},
      {{"classdiv", book, "--classes"}, 2, "选项 --classes 后面要跟一个值"},
      {{"classdiv", book, "--classes", "3", "--classes", "4"}, 2, "只能给一次"},
      {{"exam", book, "--classes", "6"}, 2, "--classes 不是命令 exam 的选项。\n（lczs exam --help"},
      {{"--cohort", "2001", "classdiv", book}, 2, "--cohort 不是命令 classdiv 的选项"},
      {{"menu", book, "--sheet", "不存在"}, 2, "没有工作表“不存在”"},
      {{"classdiv", book, "-o", dir.file("out.csv")}, 2, ".xlsx 或 .xlsm 结尾"},
      {{"classdiv", book, "-o", book}, 2, "不能是工作簿本身"},
      {{"exam", book, "--top", "1,2,3,4"}, 2, "最多 3 个数"},
      {{"menu", book, "extra"}, 2, "多出了“extra”"},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    CliResult r = run_lczs(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    const std::string& text = c.exit_code == 0 ? r.out : r.err;
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
    EXPECT_EQ((c.exit_code == 0 ? r.err : r.out), "");
    // The parser's own English never reaches the user.
    for (const char* english : {"argument", "required", "expected", "TEXT", "Usage"})
      EXPECT_EQ(text.find(english), std::string::npos) << text;
  }
  // The help fits the terminal's width and keeps every option whole.
  CliResult narrow = run_lczs({"exam", "--help"}, "", "", {"COLUMNS=50"});
  std::istringstream lines(narrow.out);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(ui::display_width(line), 50) << line;
  for (const char* option : {"--save-name", "--bottom", "X[,Y[,Z]]", "--output"})
    EXPECT_NE(narrow.out.find(option), std::string::npos) << option;
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

// "--" ends the options as in every command: what follows is the book,
// even a name that begins with "-".
TEST(Cli, DoubleDashEndsTheOptions) {
  TempDir dir;
  write_classdiv_book(dir, "-分班.xlsx");
  write_classdiv_book(dir, "分班.xlsx");
  const struct {
    std::vector<std::string> args;
    int exit_code;
    std::string says;
  } cases[] = {
      {{"menu", "--", "-分班.xlsx"}, 0, ""},
      {{"--sheet", "说明", "menu", "--", "-分班.xlsx"}, 0, ""},
      {{"menu", "--", "分班.xlsx"}, 0, ""},
      {{"--", "menu", "分班.xlsx"}, 0, ""},
      {{"menu", "--", "--yes"}, 3, "--yes"},
      {{"menu", "-分班.xlsx"}, 2, "没有选项 -分班.xlsx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    CliResult r = run_lczs(c.args, "", dir.path().string());
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

// A reader that goes away (`lczs ... | head -1`) changes nothing of the
// run: it saves, says so on standard error, exits as it would and leaves no
// lock file.
TEST(Cli, AClosedStandardOutputChangesNothing) {
  TempDir dir;
  std::string book = write_classdiv_book(dir, "分班.xlsx");
  TempDir io;
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  pid_t pid = start_lczs({"classdiv", book, "--classes", "2", "--minutes", "0", "--yes"}, fds[1], io.file("err"));
  ::close(fds[1]);
  ASSERT_GT(pid, 0);
  int status = 0;
  ::waitpid(pid, &status, 0);
  const std::string err = read_file(io.file("err"));
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << err;
  EXPECT_EQ(WEXITSTATUS(status), 0) << err;
  EXPECT_NE(err.find("已保存：" + book), std::string::npos) << err;
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"分班.xlsx"});
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
  ASSERT_EQ(std::system(add_array_formula(book).c_str()), 0);
  const std::string before = read_file(book);

  CliResult in_place = run_lczs({"classdiv", book, "--classes", "2", "--minutes", "0.01"});
  EXPECT_EQ(in_place.exit_code, 3) << in_place.out << in_place.err;
  EXPECT_EQ(in_place.out, "");  // refused on opening, before any dialog
  EXPECT_NE(in_place.err.find("数组公式"), std::string::npos) << in_place.err;

  const std::string copy = dir.file("副本.xlsx");
  CliResult r = run_lczs({"classdiv", book, "--classes", "2", "--minutes", "0.01", "-o", copy});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(std::filesystem::exists(copy));
  EXPECT_EQ(read_file(book), before);
}

TEST(Cli, TheExamNeverRefusesForWhatTheBookHolds) {
  TempDir dir;
  std::string book = write_exam_book(dir, "成绩.xlsx");
  ASSERT_EQ(std::system(add_array_formula(book).c_str()), 0);
  const std::string before = read_file(book);
  CliResult r = run_lczs({"exam", book, "--cohort", "2001", "--grade", "G1", "--save-name", "期中分析"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir.file("期中分析.xlsx"))) << r.out << r.err;
  EXPECT_EQ(read_file(book), before);
  // What the report cannot hold is named once on standard error.
  EXPECT_NE(r.err.find("数组公式"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("数组公式"), r.err.rfind("数组公式")) << r.err;
}

// A proficiency input sheet: 班级, 学号, 姓名 and two subjects graded A..E,
// one student absent from 数学.
std::string write_proficiency_book(const TempDir& dir, const std::string& name) {
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", {{"班级", "学号", "姓名", "语文", "数学"},
                                   {302, 2, "丁", "A", "E"},
                                   {301, 2, "乙", "B", nullptr},
                                   {302, 1, "丙", "C", "A"},
                                   {301, 1, "甲", "a", "B"}});
  memory::add_sheet(book, "说明", {{"这里没有数据"}});
  book.active_sheet = 0;
  std::string path = dir.file(name);
  io::write_xlsx(book, path);
  return path;
}

// The sheet a job reads is named before its first question; when it is not
// laid out for the job but another sheet is, the run's end names that one
// and the option.
TEST(Cli, TheSheetUsedIsSaidAndOneThatFitsIsNamed) {
  TempDir dir;
  memory::WorkbookData book;
  memory::add_sheet(book, "统计", {{"班级", "人数"}, {1, 40}});
  memory::add_sheet(book, "隐藏", {{"统一学号", "班级", "姓名", "性别", "语文"}, {1, nullptr, "甲", "男", 90}});
  book.sheets.back()->hidden = true;
  memory::add_sheet(book, "会考 一", {{"班级", "学号", "姓名", "语文"}, {1, 1, "甲", "A"}});
  memory::add_sheet(book, "名单", {{"统一学号", "班级", "姓名", "性别", "语文", "总分"},
                                   {1, nullptr, "甲", "男", 90, 90}, {2, nullptr, "乙", "女", 80, 80}});
  memory::add_sheet(book, "空", {});
  const std::string path = dir.file("多表.xlsx");
  const struct {
    int active;  // the sheet saved active, from 0
    std::vector<std::string> args;
    int exit_code;
    std::string uses;  // the first line on standard error
    std::string hint;  // at the end of standard error; "" for none
  } cases[] = {
      {0, {"classdiv", path, "--classes", "2"}, 1,
       "lczs: 使用工作表“统计”（工作簿中共 5 张工作表，可用 --sheet 选择其他的）。\n",
       "lczs: 工作表“统计”从 A1 起的表格不合“开始分班”的数据格式，工作表“名单”合格式；要用它，请加 --sheet 名单\n"},
      {4, {"classdiv", path, "--classes", "2"}, 1, "lczs: 使用工作表“空”", "--sheet 名单\n"},
      {0, {"classdiv", path, "--classes", "2", "--minutes", "0", "--sheet", "名单", "-o", dir.file("分班.xlsx")}, 0,
       "lczs: 使用工作表“名单”", ""},
      // Four columns are not enough for a class division, but do for the
      // others; a name with a space is quoted for the shell.
      {0, {"proficiency", path}, 1, "lczs: 使用工作表“统计”",
       "工作表“会考 一”合格式（合格式的还有 1 张）；要用它，请加 --sheet '会考 一'\n"},
      {2, {"exam", path, "--cohort", "1", "--grade", "G1", "--save-name", "报告"}, 1, "lczs: 使用工作表“会考 一”", ""},
      {0, {"exam", path, "--cohort", "1", "--grade", "G1", "--save-name", "报告", "--sheet", "空"}, 1,
       "lczs: 使用工作表“空”", "请加 --sheet '会考 一'\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " on sheet " + std::to_string(c.active));
    book.active_sheet = c.active;
    io::write_xlsx(book, path);
    CliResult r = run_lczs(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.out << r.err;
    EXPECT_EQ(r.err.rfind(c.uses, 0), 0u) << r.err;
    if (c.hint.empty()) {
      EXPECT_EQ(r.err.find("请加 --sheet"), std::string::npos) << r.err;
    } else {
      ASSERT_GE(r.err.size(), c.hint.size()) << r.err;
      EXPECT_EQ(r.err.substr(r.err.size() - c.hint.size()), c.hint) << r.err;
    }
  }
  // A book with one sheet says so.
  const std::string one = write_exam_book(dir, "一张.xlsx");
  CliResult r = run_lczs({"exam", one, "--cohort", "1", "--grade", "G1", "--save-name", "报告"});
  EXPECT_EQ(r.err.rfind("lczs: 使用工作表“成绩”（工作簿中只有这一张工作表）。\n", 0), 0u) << r.err;
}

// Where the results cannot be written is found before the first question,
// with the words the save would have used.
TEST(Cli, AFolderThatCannotTakeTheResultsIsRefusedFirst) {
  TempDir dir;
  const std::string classes = write_classdiv_book(dir, "分班.xlsx");
  const std::string grades = write_proficiency_book(dir, "会考.xlsx");
  const std::string exam = write_exam_book(dir, "成绩.xlsx");
  write_file(dir.file("文件"), "not a folder");
  std::filesystem::create_directory(dir.path() / "只读");
  std::filesystem::permissions(dir.path() / "只读", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  // Root writes anywhere, and so would its save.
  const bool read_only_holds = ::geteuid() != 0;
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"classdiv", classes, "--classes", "2", "-o", dir.file("没有/结果.xlsx")}, "“" + dir.file("没有/结果.xlsx") + "”：文件夹不存在"},
      {{"proficiency", grades, "-o", dir.file("文件/结果.xlsx")}, "：文件夹不存在"},
      {{"exam", exam, "--cohort", "1", "--grade", "G1", "--save-name", "报告", "-o", dir.file("没有/副本.xlsx")},
       "：文件夹不存在"},
      {{"classdiv", classes, "--classes", "2", "-o", dir.file("只读/结果.xlsx")}, "无法在文件夹中创建临时文件（没有权限）"},
      {{"exam", exam, "--cohort", "1", "--grade", "G1", "--save-name", "报告", "-o", dir.file("只读/副本.xlsx")},
       "无法在文件夹中创建临时文件（没有权限）"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    if (c.args.back().find("只读") != std::string::npos && !read_only_holds) continue;
    CliResult r = run_lczs(c.args);
    EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
    EXPECT_EQ(r.out, "");  // no question was asked
    EXPECT_NE(r.err.find("lczs: 无法保存文件“"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  std::filesystem::permissions(dir.path() / "只读", std::filesystem::perms::owner_all);
}

std::string openpyxl_files(const std::string& args) {
  const char* src = std::getenv("LCZS_SOURCE_DIR");
  return "/usr/bin/python3 '" + std::string(src ? src : LCZS_SOURCE_DIR) + "/tests/io/openpyxl_files.py' " + args;
}

// openpyxl gives every student's name a comment and number a link; after
// each job every one of them still stands on its student's cell, wherever
// the job's sorts, exchanges and pastes took the cell, and those of an
// untouched sheet are as they were.
TEST(Cli, CommentsAndLinksStayWithTheirCellsThroughEachJob) {
  struct Case {
    const char* job;
    std::string (*write)(const TempDir&, const std::string&);
    std::vector<std::string> options;  // after "JOB BOOK"
    const char* result;                // the file written, in the book's folder
  };
  const Case cases[] = {
      {"classdiv", write_classdiv_book, {"--classes", "2", "--minutes", "0.01", "--yes"}, "book.xlsx"},
      {"proficiency", write_proficiency_book, {"--yes"}, "book.xlsx"},
      {"exam", write_exam_book, {"--cohort", "2001", "--grade", "G1", "--save-name", "分析"}, "分析.xlsx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.job);
    TempDir dir;
    const std::string book = c.write(dir, "book.xlsx");
    ASSERT_EQ(std::system(openpyxl_files("attach '" + book + "'").c_str()), 0);
    std::filesystem::copy_file(book, dir.file("given.xlsx"));
    std::vector<std::string> args = {c.job, book};
    args.insert(args.end(), c.options.begin(), c.options.end());
    CliResult r = run_lczs(args);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(std::system(openpyxl_files("check-attached '" + dir.file("given.xlsx") + "' '" + dir.file(c.result) + "'").c_str()), 0);
  }
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
  // 确定; 继续执行>>; three texts, six empty band boxes; 确定; 取消
  std::string answers = "1\n1\n2001\nG1\n期中分析\n\n\n\n\n\n\n1\n2\n";
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

// A proficiency grade list: 班级, 学号, 姓名 and two subjects graded A to E.
std::string write_grades_book(const TempDir& dir, const std::string& name) {
  memory::WorkbookData book;
  std::vector<std::vector<Lit>> rows = {{"班级", "学号", "姓名", "语文", "数学"}};
  for (int i = 1; i <= 6; ++i)
    rows.push_back({301 + i % 2, i, "学生" + std::to_string(i), std::string(1, char('A' + i % 5)), "B"});
  memory::add_sheet(book, "会考", rows);
  std::string path = dir.file(name);
  io::write_xlsx(book, path);
  return path;
}

// Validations, conditional formats, a filter, names, print area and
// titles on the data sheet: each job keeps them item by item, in place or
// in the exam's report, on the sheet under whatever name the job gave it.
TEST(Cli, JobsKeepWhatBelongsToRanges) {
  TempDir dir;
  struct Case {
    std::string book, sheet;
    std::vector<std::string> args;
    std::string result, sheets;  // for range_items.py compare
  } cases[] = {
      {write_classdiv_book(dir, "分班.xlsx"), "名单", {"classdiv", "--classes", "2", "--minutes", "0.01"}, "分班.xlsx",
       "名单,说明"},
      {write_grades_book(dir, "会考.xlsx"), "会考", {"proficiency"}, "会考.xlsx", "会考=原始数据"},
      {write_exam_book(dir, "成绩.xlsx"), "成绩", {"exam", "--cohort", "2001", "--grade", "G1", "--save-name", "期中分析"},
       "期中分析.xlsx", "成绩=原始数据"},
  };
  const std::string script = "/usr/bin/python3 '" LCZS_SOURCE_DIR "/tests/io/range_items.py' ";
  for (auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const std::string orig = dir.file("orig.xlsx");
    ASSERT_EQ(std::system((script + "add '" + c.book + "' '" + c.sheet + "'").c_str()), 0);
    std::filesystem::copy_file(c.book, orig, std::filesystem::copy_options::overwrite_existing);
    c.args.insert(c.args.begin() + 1, c.book);
    c.args.push_back("--yes");
    CliResult r = run_lczs(c.args);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(std::system((script + "compare '" + orig + "' '" + dir.file(c.result) + "' '" + c.sheets + "'").c_str()), 0);
  }
}

struct Screen {
  std::string seen;  // everything the terminal showed, typed keys included
  int status = -1;   // exit status, or 128 + the signal that ended it
};

// Runs lczs on a pseudo-terminal: each step waits until the screen shows
// its text (after the previous step's) and then types its keys.
Screen on_terminal(const std::vector<std::string>& args,
                   const std::vector<std::pair<std::string, std::string>>& steps) {
  Screen s;
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return s;
  if (pid == 0) {
    unsetenv("LCZS_UI");
    std::vector<std::string> argv_s{LCZS_BINARY};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(LCZS_BINARY, argv.data());
    _exit(127);
  }
  std::size_t step = 0, from = 0;
  char buf[4096];
  for (int rounds = 0; rounds < 600; ++rounds) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 100) > 0) {
      ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) break;
      s.seen.append(buf, static_cast<std::size_t>(n));
    }
    std::size_t at = step < steps.size() ? s.seen.find(steps[step].first, from) : std::string::npos;
    if (at != std::string::npos) {
      const std::string& keys = steps[step].second;
      if (write(master, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) break;
      from = at + steps[step].first.size();
      ++step;
    }
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  close(master);
  s.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return s;
}

// What a teacher meets at the terminal.
TEST(Cli, OnATerminal) {
  TempDir dir;
  const std::string classes = write_classdiv_book(dir, "分班.xlsx");
  const std::string exam = write_exam_book(dir, "成绩.xlsx");
  const std::string grades = write_grades_book(dir, "会考.xlsx");
  const std::string out = dir.file("结果.xlsx");
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> steps;  // wait for, then type
    int status;
    std::vector<std::string> shows;  // in this order
    bool written;                    // the output file exists afterwards
  };
  const std::vector<Case> cases = {
      {"labels, hints before prompts, the re-show line, 已保存",
       {"classdiv", classes, "-o", out},
       // Keys are typed only once the whole prompt is up, so that their echo
       // cannot land inside it.
       {{"继续吗？", "\n"}, {"1) 继续执行>>", "1\n"}, {"分班数：（现为空，直接回车留空）> ", "1\n"},
        {"← 当前", "\n"}, {"1) 确定", "1\n"}, {"分班数：（现为空，直接回车留空）> ", "2\n"},
        {"← 当前", "2\n"}, {"程序执行时间：（现为空，直接回车留空）> ", "0.01\n"},
        {"允许最大差值：（现为空，直接回车留空）> ", "\n"}, {"1) 确定", "1\n"}},
       0,
       {"一、设置需要分班的班级数目\r\n分班数：（现为空，直接回车留空）> ",
        "（再次显示：分班数须为 2 或以上，各框重新为空）",
        "(单位为分钟，例如 3 分钟)\r\n程序执行时间：", "分班结束!", "已保存：" + out},
       true},
      {"1 goes on where the form lists 格式调整>> first",
       {"proficiency", grades, "-o", out},
       {{"继续吗？", "\n"}, {"2) 格式调整>>", "1\n"}},
       0,
       {"1) 继续执行>>\r\n  2) 格式调整>>", "分析完成!", "已保存：" + out},
       true},
      {"2 stops", {"exam", exam, "-o", out}, {{"继续吗？", "\n"}, {"2) 格式调整>>", "2\n"}}, 1,
       {"现在退出成绩分析程序!"}, false},
      {"a refused form comes back empty and says why",
       {"exam", exam, "-o", out},
       {{"继续吗？", "\n"}, {"1) 继续执行>>", "1\n"}, {"请输入学生届：", "2001\n\n\n\n\n\n\n\n\n1\n"},
        {"再次显示", ""}, {"请输入学生届：（现为空", "\x04"}},
       1,
       {"请输入基本信息!", "（再次显示：上次填写的没有被接受（见上面的提示），各框重新为空）",
        "请输入学生届：（现为空", "现在退出成绩分析程序!"},
       false},
      {"Ctrl-C", {"classdiv", classes, "-o", out},
       {{"继续吗？", "\n"}, {"1) 继续执行>>", "1\n"}, {"分班数：（现为空", "\x03"}},
       128 + SIGINT,
       {"已中断。现在退出分班程序，要分班请重新运行程序！\r\n没有写入任何文件。"},
       false},
      {"end of input closes the About form", {"about"}, {{"0) 关闭窗口", "\x04"}}, 0,
       {"=== 关于栎川助手v2.0 ==="}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(out);
    Screen s = on_terminal(c.args, c.steps);
    EXPECT_EQ(s.status, c.status) << s.seen;
    std::size_t at = 0;
    for (const auto& text : c.shows) {
      at = s.seen.find(text, at);
      ASSERT_NE(at, std::string::npos) << "missing: " << text << "\n" << s.seen;
    }
    EXPECT_EQ(std::filesystem::exists(out), c.written);
    EXPECT_EQ(s.seen.find("txtbox"), std::string::npos) << s.seen;
  }
}

}  // namespace
}  // namespace lczs::testing
