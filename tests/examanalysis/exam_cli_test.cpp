// `lczs exam` as a user runs it: exit status, the boxes printed, where the
// report is written, -o, and a save-as onto an existing file.
#include <gtest/gtest.h>

#include <filesystem>

#include "model/memory_host.h"
#include "io/io.h"
#include "tests/cli/cli_harness.h"

namespace lczs::testing {
namespace {

using memory::Lit;
using Rows = std::vector<std::vector<Lit>>;

// Ten students of 101 and 102; 学生4 missed 数学.
Rows grade(Lit odd = 70) {
  Rows rows = {{"班级", "学号", "姓名", "语文", "数学"}};
  for (int i = 1; i <= 10; ++i)
    rows.push_back({101 + i % 2, i, "学生" + std::to_string(i), 60 + i * 3,
                    i == 4 ? Lit(nullptr) : i == 6 ? odd : Lit(90 - i * 2)});
  return rows;
}

std::string write_book(const TempDir& dir, const std::string& name, const Rows& rows,
                       const char* extra_sheet = nullptr) {
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", rows);
  if (extra_sheet) memory::add_sheet(book, extra_sheet, {{"旧"}});
  std::filesystem::create_directories(std::filesystem::path(dir.file(name)).parent_path());
  io::write_xlsx(book, dir.file(name));
  return dir.file(name);
}

std::string box(const std::string& text, const std::string& title = "栎川提示") {
  return "[" + title + "]\n" + text + "\n→ 确定\n";
}

const std::string kAsk = box("开始进行考试成绩分析，继续吗？");
const std::string kDone = box("成绩分析完毕，程序结束!");
const std::string kQuit = box("现在退出成绩分析程序!");

struct CliCase {
  const char* name;
  std::vector<std::string> options;  // after "exam BOOK"
  Rows rows;
  const char* extra_sheet;
  bool to_copy;                      // -o out/副本.xlsx
  int exit_code;
  std::vector<std::string> says;     // on standard output, in this order
  const char* report;                // file written beside BOOK (or the copy); nullptr: none
  std::vector<std::string> sheets;   // of the report
};

const std::vector<std::string> kBasic = {"--cohort", "2001", "--grade", "G1"};

std::vector<std::string> with(std::vector<std::string> more) {
  std::vector<std::string> out = kBasic;
  out.insert(out.end(), more.begin(), more.end());
  return out;
}

class ExamCli : public ::testing::TestWithParam<CliCase> {};

TEST_P(ExamCli, Runs) {
  const CliCase& c = GetParam();
  TempDir dir;
  const std::string book = write_book(dir, "成绩.xlsx", c.rows, c.extra_sheet);
  const std::string before = read_file(book);
  std::filesystem::create_directory(dir.path() / "out");
  std::vector<std::string> args = {"exam", book};
  args.insert(args.end(), c.options.begin(), c.options.end());
  if (c.to_copy) args.insert(args.end(), {"-o", dir.file("out/副本.xlsx")});

  CliResult r = run_lczs(args);
  EXPECT_EQ(r.exit_code, c.exit_code) << r.out << r.err;
  std::size_t at = 0;
  for (const auto& s : c.says) {
    std::size_t found = r.out.find(s, at);
    EXPECT_NE(found, std::string::npos) << s << "\n--- printed:\n" << r.out;
    if (found != std::string::npos) at = found + s.size();
  }
  EXPECT_EQ(read_file(book), before);  // the user's own file is never written

  const std::string folder = c.to_copy ? "out/" : "";
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir.path() / (c.to_copy ? "out" : "")))
    if (e.is_regular_file() && e.path().filename() != "成绩.xlsx" &&
        (e.path().filename() != "副本.xlsx" || (c.report && std::string(c.report) == "副本.xlsx")))
      files.push_back(e.path().filename().string());
  if (!c.report) {
    EXPECT_TRUE(files.empty()) << files.front();
    return;
  }
  ASSERT_EQ(files, std::vector<std::string>{c.report});
  memory::WorkbookData report = io::read_workbook(dir.file(folder + c.report));
  std::vector<std::string> names;
  for (const auto& s : report.sheets) names.push_back(s->name);
  EXPECT_EQ(names, c.sheets);
}

const std::vector<std::string> kBanded = {"原始数据", "年级后2名", "年级前3名", "封面", "年级各科均分", "年级实考"};
const std::vector<std::string> kPlain = {"原始数据", "封面", "年级各科均分", "年级实考"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ExamCli,
    ::testing::Values(
        CliCase{"BandsBesideTheBook", with({"--save-name", "期中分析", "--top", "3", "--bottom", "2"}), grade(),
                nullptr, false, 0, {kAsk, kDone}, "期中分析.xlsx", kBanded},
        CliCase{"CopyPutsTheReportBesideTheCopy", with({"--save-name", "期中分析", "--top", "3", "--bottom", "0,2"}),
                grade(), nullptr, true, 0, {kAsk, kDone}, "期中分析.xlsx", kBanded},
        CliCase{"ExtensionKeptInAnyCase", with({"--save-name", "报告.XLSX"}), grade(), nullptr, false, 0,
                {kAsk, kDone}, "报告.XLSX", kPlain},
        CliCase{"NameMissing", with({"--top", "3"}), grade(), nullptr, false, 1,
                {kAsk, box("请输入基本信息!", ""), kQuit}, nullptr, {}},
        CliCase{"BadName", with({"--save-name", "期中/分析"}), grade(), nullptr, false, 1,
                {kAsk, "“期中/分析”不能用", kQuit}, nullptr, {}},
        CliCase{"DeviceName", with({"--save-name", "NUL"}), grade(), nullptr, false, 1,
                {kAsk, "设备名", kQuit}, nullptr, {}},
        CliCase{"BandAboveTheSatStudents", with({"--save-name", "期中分析", "--top", "10"}), grade(), nullptr,
                false, 1, {kAsk, "超过了各科都有成绩的学生人数（9人）", kQuit}, nullptr, {}},
        CliCase{"BandPastAnyIntegerShownAsTyped", with({"--save-name", "期中分析", "--top", "999999999999999999999"}),
                grade(), nullptr, false, 1, {kAsk, "是999999999999999999999，超过了", kQuit}, nullptr, {}},
        CliCase{"ScoreAsText", with({"--save-name", "期中分析"}), grade("缺考"), nullptr, false, 1,
                {kAsk, "工作表“成绩”的单元格 E7 不是数字（“缺考”）", kQuit}, nullptr, {}},
        CliCase{"ResultSheetAlreadyThere", with({"--save-name", "期中分析"}), grade(), "年级各科均分", false, 1,
                {kAsk, "已有工作表“年级各科均分”", kQuit}, nullptr, {}},
        CliCase{"SaveNameIsTheBook", with({"--save-name", "成绩"}), grade(), nullptr, false, 1,
                {kAsk, "覆盖原文件", kQuit}, nullptr, {}},
        // With -o only BOOK itself is refused; the copy's name is a file like any other.
        CliCase{"SaveNameIsTheCopy", with({"--save-name", "副本"}), grade(), nullptr, true, 0, {kAsk, kDone},
                "副本.xlsx", kPlain},
        CliCase{"RatesAddTheFiguresOnDefaults", with({"--save-name", "期中分析", "--rates"}), grade(), nullptr,
                false, 0, {kAsk, kDone}, "期中分析.xlsx",
                {"原始数据", "封面", "年级各科均分", "年级实考", "学科分析", "分数段", "图表"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExamCliSave, AnExistingReportIsReplacedAfterAsking) {
  TempDir dir;
  const std::string book = write_book(dir, "成绩.xlsx", grade());
  write_file(dir.file("期中分析.xlsx"), "旧文件");
  CliResult r = run_lczs({"exam", book, "--cohort", "2001", "--grade", "G1", "--save-name", "期中分析"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find(box("文件“" + dir.file("期中分析.xlsx") + "”已存在。要替换它吗？") + kDone),
            std::string::npos)
      << r.out;
  EXPECT_EQ(io::read_workbook(dir.file("期中分析.xlsx")).sheets.size(), kPlain.size());
}

TEST(ExamCliSave, ASaveThatFailsExitsWith3AndShowsNoEndMessage) {
  TempDir dir;
  const std::string book = write_book(dir, "成绩.xlsx", grade());
  const std::string before = read_file(book);
  std::filesystem::create_directory(dir.file("期中分析.xlsx"));  // a folder in the way
  CliResult r = run_lczs({"exam", book, "--cohort", "2001", "--grade", "G1", "--save-name", "期中分析"});
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_NE(r.out.find("[栎川提示]\n保存工作簿失败："), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("成绩分析完毕"), std::string::npos) << r.out;
  EXPECT_EQ(read_file(book), before);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("期中分析.xlsx")));
}

TEST(ExamCliPrevious, AnEarlierReportBecomesTheSheetOfBefore) {
  TempDir dir;
  // The earlier exam's own report, then this exam against it.
  const std::string old_book = write_book(dir, "上次/成绩.xlsx", grade());
  CliResult first = run_lczs({"exam", old_book, "--cohort", "2001", "--grade", "G1", "--save-name", "期中分析"});
  ASSERT_EQ(first.exit_code, 0) << first.out << first.err;
  const std::string book = write_book(dir, "成绩.xlsx", grade(80));
  const std::string before = read_file(book);
  CliResult r = run_lczs(with({"exam", book, "--save-name", "期末分析", "--previous", dir.file("上次/期中分析.xlsx")}));
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(read_file(book), before);
  memory::WorkbookData report = io::read_workbook(dir.file("期末分析.xlsx"));
  std::vector<std::string> names;
  for (const auto& s : report.sheets) names.push_back(s->name);
  EXPECT_EQ(names, (std::vector<std::string>{"原始数据", "封面", "年级各科均分", "年级实考", "上次成绩", "进退步"}));

  // A file that cannot be read stops the command before the job.
  r = run_lczs(with({"exam", book, "--save-name", "期末分析2", "--previous", dir.file("没有.xlsx")}));
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_NE(r.err.find("--previous 的工作簿"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("期末分析2.xlsx")));
}

}  // namespace
}  // namespace lczs::testing
