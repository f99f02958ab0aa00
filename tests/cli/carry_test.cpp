// A workbook written by another program (openpyxl, tests/io/carry_items.py)
// holding every kind of content a user's workbook may have keeps each item
// through a plain load and save, each job run on it, and the exam's report;
// what a job's step would have to move is refused over the user's file and
// left out of a new one with a warning.
#include <gtest/gtest.h>

#include <cstdlib>

#include "io/io.h"
#include "tests/cli/cli_harness.h"

namespace lczs::testing {
namespace {

std::string source_dir() {
  const char* env = std::getenv("LCZS_SOURCE_DIR");
  return env != nullptr ? env : LCZS_SOURCE_DIR;
}

// One of the helpers of tests/io with its arguments; its exit status.
int helper(const char* script, const std::string& args) {
  std::string cmd = "/usr/bin/python3 '" + source_dir() + "/tests/io/" + script + "' " + args;
  return std::system(cmd.c_str());
}
int items(const std::string& args) { return helper("carry_items.py", args); }
int drawn_inputs(const std::string& args) { return helper("drawn_inputs.py", args); }

TEST(Carry, EveryItemSurvivesEachWayTheWorkbookIsSaved) {
  struct Case {
    const char* name;
    const char* job;   // the input sheet carry_items.py writes
    const char* book;  // file name
    std::vector<std::string> args;  // after the command and the book; empty: a plain load and save
    const char* result;  // the file compared with the book
  } cases[] = {
      {"a plain load and save", "plain", "资料.xlsm", {}, "资料.xlsm"},
      {"class division in place", "classdiv", "分班.xlsm", {"classdiv", "--classes", "2", "--minutes", "0.01"},
       "分班.xlsm"},
      {"proficiency analysis in place", "proficiency", "会考.xlsx", {"proficiency"}, "会考.xlsx"},
      {"the exam's report", "exam", "成绩.xlsx",
       {"exam", "--cohort", "2001", "--grade", "G1", "--save-name", "期中分析"}, "期中分析.xlsx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::string book = dir.file(c.book), before = dir.file("before.xlsx");
    ASSERT_EQ(items(std::string("make ") + c.job + " '" + book + "'"), 0);
    std::filesystem::copy_file(book, before);
    if (c.args.empty()) {
      io::write_xlsx(io::read_workbook(book), book);
    } else {
      std::vector<std::string> args = c.args;
      args.insert(args.begin() + 1, book);
      CliResult r = run_lczs(args);
      ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
      EXPECT_EQ(r.err.find("无法保留"), std::string::npos) << r.err;
    }
    EXPECT_EQ(items("compare '" + before + "' '" + dir.file(c.result) + "'"), 0);
  }
}

// An image over the students' table: the class division sorts the table and
// would have to move the image.
TEST(Carry, WhatAStepWouldHaveToMoveIsRefusedInPlaceAndLeftOutOfACopy) {
  TempDir dir;
  std::string book = dir.file("分班.xlsx"), out = dir.file("结果.xlsx");
  ASSERT_EQ(items("make classdiv '" + book + "'"), 0);
  // The image moves from 资料 onto the data sheet, over its rows.
  const std::string move_image =
      "/usr/bin/python3 -c \"import sys, zipfile; p = sys.argv[1]; z = zipfile.ZipFile(p); "
      "f = {n: z.read(n) for n in z.namelist()}; z.close(); "
      "a, b = f['xl/worksheets/sheet1.xml'], f['xl/worksheets/sheet2.xml']; "
      "d = b[b.index(b'<drawing'):b.index(b'</worksheet>')]; "
      "f['xl/worksheets/sheet1.xml'] = a.replace(b'</worksheet>', d + b'</worksheet>'); "
      "f['xl/worksheets/sheet2.xml'] = b.replace(d, b''); "
      "f['xl/worksheets/_rels/sheet1.xml.rels'] = f.pop('xl/worksheets/_rels/sheet2.xml.rels'); "
      "w = zipfile.ZipFile(p, 'w'); [w.writestr(n, v) for n, v in f.items()]\" '" + book + "'";
  ASSERT_EQ(std::system(move_image.c_str()), 0);
  const std::string original = read_file(book);

  CliResult in_place = run_lczs({"classdiv", book, "--classes", "2", "--minutes", "0.01"});
  EXPECT_NE(in_place.exit_code, 0);
  const std::string said = in_place.out + in_place.err;
  EXPECT_NE(said.find("不能保存到原文件"), std::string::npos) << said;
  EXPECT_NE(said.find("图表和图片（名单）"), std::string::npos) << said;
  EXPECT_NE(said.find("请加上 -o 另一个文件.xlsx 重新运行"), std::string::npos) << said;
  EXPECT_EQ(read_file(book), original);

  CliResult copy = run_lczs({"classdiv", book, "--classes", "2", "--minutes", "0.01", "-o", out});
  EXPECT_EQ(copy.exit_code, 0) << copy.out << copy.err;
  EXPECT_NE(copy.err.find("中将没有原文件的这些内容：图表和图片（名单）"), std::string::npos) << copy.err;
  memory::WorkbookData result = io::read_workbook(out);
  for (const auto& o : result.sheets[0]->carried.objects) EXPECT_EQ(o.what, "打印机设置");
  EXPECT_EQ(read_file(book), original);
}

// A picture beside the input table goes with every copy of the sheet, and an
// empty drawing part (LibreOffice's, beside an autofilter) is nothing to
// keep: neither is a reason to refuse or to warn.
TEST(Carry, SheetCopiesKeepPicturesAndAnEmptyDrawingIsNoLoss) {
  struct Case {
    const char* name;
    const char* job;
    const char* kind;
    std::vector<std::string> args;  // after the command and the book
    const char* result;             // the file written
    std::vector<std::string> sheets;  // sheets of the result that show the picture
  } cases[] = {
      {"proficiency in place, a picture", "proficiency", "picture", {}, "会考.xlsx", {"原始数据", "年级实考"}},
      {"proficiency in place, an empty drawing", "proficiency", "empty", {}, "会考.xlsx", {}},
      {"the exam's report, a picture", "exam", "picture",
       {"--cohort", "2001", "--grade", "G1", "--save-name", "期中分析"}, "期中分析.xlsx", {"原始数据", "年级实考"}},
      {"the exam's report, an empty drawing", "exam", "empty",
       {"--cohort", "2001", "--grade", "G1", "--save-name", "期中分析"}, "期中分析.xlsx", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string book = dir.file(std::string(c.job) == "exam" ? "成绩.xlsx" : "会考.xlsx");
    const std::string before = dir.file("before.xlsx");
    ASSERT_EQ(drawn_inputs(std::string("make ") + c.job + " " + c.kind + " '" + book + "'"), 0);
    std::filesystem::copy_file(book, before);
    std::vector<std::string> args = {c.job, book};
    args.insert(args.end(), c.args.begin(), c.args.end());
    CliResult r = run_lczs(args);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.err.find("将没有"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("无法保留"), std::string::npos) << r.err;
    std::string sheets;
    for (const auto& s : c.sheets) sheets += " '" + s + "'";
    EXPECT_EQ(drawn_inputs("pictures '" + before + "' 名单 '" + dir.file(c.result) + "'" + sheets), 0);
  }
}

TEST(Carry, TheExamReportOfAMacroBookLeavesTheMacrosOutWithOneWarning) {
  TempDir dir;
  std::string book = dir.file("成绩.xlsm");
  ASSERT_EQ(items("make exam '" + book + "'"), 0);
  const std::string original = read_file(book);
  CliResult r = run_lczs({"exam", book, "--cohort", "2001", "--grade", "G1", "--save-name", "期中分析"});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const std::string said = "中将没有原文件的这些内容：宏（工作簿）";
  EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(said), r.err.rfind(said)) << r.err;
  memory::WorkbookData report = io::read_workbook(dir.file("期中分析.xlsx"));
  EXPECT_FALSE(report.carried.has_macros());
  EXPECT_FALSE(report.carried.parts.empty());  // the custom XML and the drawing are there
  EXPECT_EQ(read_file(book), original);
}

}  // namespace
}  // namespace lczs::testing
