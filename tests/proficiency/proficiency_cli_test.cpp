// `lczs proficiency` as a user runs it: exit status, the boxes printed, the
// file written.
#include <gtest/gtest.h>

#include <filesystem>

#include "model/memory_host.h"
#include "io/io.h"
#include "tests/cli/cli_harness.h"

namespace lczs::testing {
namespace {

using memory::Lit;
using Rows = std::vector<std::vector<Lit>>;

Rows grades(Lit odd_cell = "B") {
  return {{"班级", "学号", "姓名", "语文", "数学"},
          {302, 2, "丁", "A", "E"},
          {301, 2, "乙", odd_cell, nullptr},
          {302, 1, "丙", "C", "A"},
          {301, 1, "甲", "a", "B"}};
}

std::string write_book(const TempDir& dir, const std::string& name, const Rows& rows,
                       const char* extra_sheet = nullptr) {
  memory::WorkbookData book;
  if (extra_sheet) memory::add_sheet(book, extra_sheet, {{"说明"}});
  memory::add_sheet(book, "成绩", rows);
  book.active_sheet = 0;
  std::string path = dir.file(name);
  io::write_xlsx(book, path);
  return path;
}

std::vector<std::string> sheet_names(const memory::WorkbookData& book) {
  std::vector<std::string> out;
  for (const auto& s : book.sheets) out.push_back(s->name);
  return out;
}

const std::string kAsk = "[栎川提示]\n开始进行会考成绩分析，继续吗？\n→ 确定\n";
const std::string kDoneBox = "[栎川提示]\n分析完成!\n→ 确定\n";
const std::string kQuitBox = "[栎川提示]\n现在退出程序!\n→ 确定\n";

struct CliCase {
  const char* name;
  std::vector<std::string> extra;  // after "proficiency BOOK"
  Rows rows;
  const char* extra_sheet;         // a sheet before 成绩
  bool to_copy;                    // -o OUT
  int exit_code;
  std::vector<std::string> says;   // printed on standard output
  std::vector<std::string> sheets;  // of the file written; empty: none written
};

const std::vector<std::string> kWithAbsent = {"原始数据", "年级缺考", "会考成绩分析", "年级实考"};

class ProficiencyCli : public ::testing::TestWithParam<CliCase> {};

TEST_P(ProficiencyCli, Runs) {
  const CliCase& c = GetParam();
  TempDir dir;
  const std::string book = write_book(dir, "会考.xlsx", c.rows, c.extra_sheet);
  const std::string before = read_file(book);
  const std::string out = dir.file("结果.xlsx");
  std::vector<std::string> args = {"proficiency", book};
  args.insert(args.end(), c.extra.begin(), c.extra.end());
  if (c.to_copy) args.insert(args.end(), {"-o", out});

  CliResult r = run_lczs(args);
  EXPECT_EQ(r.exit_code, c.exit_code) << r.out << r.err;
  EXPECT_EQ(r.out.rfind(kAsk, 0), 0u) << r.out;
  for (const auto& s : c.says) EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;
  EXPECT_NE(r.err.find("数据格式要求"), std::string::npos) << r.err;

  const std::string written = c.to_copy ? out : book;
  if (c.sheets.empty()) {
    EXPECT_EQ(read_file(book), before);
    EXPECT_FALSE(std::filesystem::exists(out));
    return;
  }
  if (c.to_copy) {
    EXPECT_EQ(read_file(book), before);
  }
  memory::WorkbookData result = io::read_workbook(written);
  EXPECT_EQ(sheet_names(result), c.sheets);
  memory::MemoryApplication app;
  auto& wb = app.open(std::move(result));
  const host::Worksheet& report = wb.sheet("会考成绩分析");
  EXPECT_EQ(report.value(1, 9), host::Value::text("AB率"));
  // 语文 over the grade: 甲 a, 丙 C, 丁 A -> AB 2/3.
  EXPECT_EQ(report.value(4, 1), host::Value::text("年级"));
  EXPECT_NEAR(report.value(4, 9).as_number(), 2.0 / 3, 1e-12);
  EXPECT_EQ(wb.mem_sheet("会考成绩分析").format(4, 9).number_format, "0.00%");
  EXPECT_EQ(wb.sheet("年级缺考").value(2, 5), host::Value::text(" "));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProficiencyCli,
    ::testing::Values(
        CliCase{"InPlace", {}, grades(), nullptr, false, 0, {kDoneBox}, kWithAbsent},
        CliCase{"ToCopy", {}, grades(), nullptr, true, 0, {kDoneBox}, kWithAbsent},
        CliCase{"Yes", {"--yes"}, grades(), nullptr, true, 0, {kDoneBox}, kWithAbsent},
        CliCase{"ChosenSheetNotFirst",
                {"--sheet", "成绩"},
                grades(),
                "封面",
                true,
                0,
                {kDoneBox},
                {"封面", "年级缺考", "会考成绩分析", "年级实考", "原始数据"}},
        CliCase{"RefusedGrade", {}, grades("缺考"), nullptr, false, 1, {"D3", "“缺考”", kQuitBox}, {}},
        CliCase{"RefusedGradeCopy", {}, grades("F"), nullptr, true, 1, {"D3", kQuitBox}, {}},
        CliCase{"RefusedSheetTaken", {"--sheet", "成绩"}, grades(), "年级实考", true, 1,
                {"“年级实考”", kQuitBox}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lczs::testing
