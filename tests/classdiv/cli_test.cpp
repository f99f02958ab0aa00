// `lczs classdiv` as a user runs it: exit status, the boxes printed, which
// file is written.
#include <gtest/gtest.h>

#include "model/memory_host.h"
#include "io/io.h"
#include "tests/classdiv/harness.h"
#include "tests/cli/cli_harness.h"

namespace lczs::classdiv {
namespace {

using lczs::testing::CliResult;
using lczs::testing::read_file;
using lczs::testing::run_lczs;
using lczs::testing::TempDir;

constexpr const char* kExitText = "现在退出分班程序，要分班请重新运行程序！";

// Thirty students, two subjects; `absent` puts "缺考" into one score.
std::string write_book(const TempDir& dir, const std::string& name, bool absent = false) {
  auto students = testing::random_students(5, 30, 2, 14);
  auto book = testing::make_book({"语文", "数学"}, students, "新生");
  if (absent) book.sheets[0]->at(9, 6).value = host::Value::text("缺考");
  memory::add_sheet(book, "备注", {{"无"}});
  book.active_sheet = 0;
  const std::string path = dir.file(name);
  io::write_xlsx(book, path);
  return path;
}

struct Case {
  const char* what;
  std::vector<std::string> options;  // after "classdiv BOOK"
  bool to_out;                        // with -o OUT.xlsx
  int exit_code;
  std::vector<const char*> printed;   // in this order on standard output
};

TEST(Command, ClassdivEndToEnd) {
  const Case cases[] = {
      {"saved in place", {"--classes", "3", "--minutes", "0", "--yes"}, false, 0,
       {"开始分班，请先选中分班数据所在的工作表，继续吗？", "开始分班，需要几分钟时间，请您稍等!",
        "分班结束!"}},
      {"saved elsewhere", {"--classes", "4", "--minutes", "0.05", "--max-diff", "0.5"}, true, 0,
       {"开始分班，需要几分钟时间", "分班结束!"}},
      {"letters as class count", {"--classes", "abc"}, true, 1,
       {"数据类型错误，请重新输入!", kExitText}},
      {"one class comes back and is cancelled", {"--classes", "1"}, true, 1, {kExitText}},
      {"empty class count", {"--classes", ""}, true, 1, {"请输入分班数!", kExitText}},
      {"bad minutes", {"--classes", "3", "--minutes", "x"}, true, 1,
       {"数据类型错误，请重新输入!", kExitText}},
      {"more classes than students", {"--classes", "31"}, true, 1,
       {"少于分班数 31", kExitText}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string book = write_book(dir, "分班.xlsx");
    const std::string before = read_file(book);
    const std::string out = dir.file("结果.xlsx");
    std::vector<std::string> args = {"classdiv", book};
    args.insert(args.end(), c.options.begin(), c.options.end());
    if (c.to_out) {
      args.push_back("-o");
      args.push_back(out);
    }
    CliResult r = run_lczs(args);
    ASSERT_EQ(r.exit_code, c.exit_code) << r.out << r.err;
    std::size_t at = 0;
    for (const char* text : c.printed) {
      at = r.out.find(text, at);
      ASSERT_NE(at, std::string::npos) << "missing: " << text << "\n" << r.out;
    }
    if (c.exit_code != 0) {
      EXPECT_EQ(read_file(book), before);
      EXPECT_FALSE(std::filesystem::exists(out));
      EXPECT_EQ(r.out.find("分班结束!"), std::string::npos);
      continue;
    }
    const std::string written = c.to_out ? out : book;
    if (c.to_out) {
      EXPECT_EQ(read_file(book), before);
    }
    auto result = io::read_xlsx(written);
    ASSERT_EQ(result.sheets.size(), 2u);
    const memory::SheetData& ws = *result.sheets[0];
    EXPECT_EQ(ws.name, "新生");
    const int K = std::stoi(c.options[1]), N = 30, S = N + 9;
    // Every student has a class, the classes come in order, sizes agree
    // with the block.
    std::vector<int> size(K + 1);
    int last = 1;
    for (int r = 2; r <= N + 1; ++r) {
      const int cls = static_cast<int>(ws.get(r, 2)->value.as_number());
      ASSERT_GE(cls, last);
      last = cls;
      ++size[cls];
    }
    for (int k = 1; k <= K; ++k) {
      EXPECT_EQ(ws.get(S + k, 1)->value.as_number(), size[k]);
      EXPECT_EQ(ws.get(S + k, 5)->formula().rfind("AVERAGEA($E$", 0), 0u) << ws.get(S + k, 5)->formula();
    }
    EXPECT_EQ(ws.get(S, 1)->value.as_text(), "班人数");
    EXPECT_EQ(ws.get(S + K + 5, 3)->value.as_text(), "平均分两最之差");
    EXPECT_EQ(ws.row_breaks.size(), static_cast<std::size_t>(K - 1));
  }
}

TEST(Command, RefusedDataLeavesTheFileAlone) {
  TempDir dir;
  const std::string book = write_book(dir, "分班.xlsx", true);
  const std::string before = read_file(book);
  CliResult r = run_lczs({"classdiv", book, "--classes", "3", "--yes"});
  EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("工作表“新生”的单元格 F9 不是数字（“缺考”）"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(kExitText), std::string::npos);
  EXPECT_EQ(read_file(book), before);
}

// One class more than a sheet holds breaks for: the first 1,023 classes
// after the first get their break, the run goes on, and standard error says
// once which class is the first without one.
TEST(Command, ClassesPastThePageBreakLimit) {
  TempDir dir;
  const int K = host::kMaxPageBreaks + 2;
  auto book = testing::make_book({"语文"}, testing::random_students(3, K, 1, K / 2));
  const std::string path = dir.file("分班.xlsx");
  io::write_xlsx(book, path);
  CliResult r = run_lczs({"classdiv", path, "--classes", std::to_string(K), "--minutes", "0", "--yes"});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const std::string notice = "最多只能有 1023 个手动分页符，从第 1025 班起不再分页。";
  const std::size_t at = r.err.find(notice);
  EXPECT_NE(at, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(notice, at + 1), std::string::npos) << r.err;
  EXPECT_EQ(io::read_xlsx(path).sheets[0]->row_breaks.size(), static_cast<std::size_t>(host::kMaxPageBreaks));
}

TEST(Command, ExampleWorkbookIsDivided) {
  TempDir dir;
  const std::string out = dir.file("分班结果.xlsx");
  CliResult r = run_lczs({"classdiv", std::string(LCZS_SOURCE_DIR) + "/examples/分班示例.xlsx",
                          "--classes", "8", "--minutes", "0.1", "-o", out, "--yes"});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  auto result = io::read_xlsx(out);
  const memory::SheetData& ws = *result.sheets[0];
  EXPECT_EQ(ws.get(369, 1)->value.as_text(), "班人数");
  EXPECT_EQ(ws.row_breaks.size(), 7u);
}

// A run bounded by work repeats exactly; the search's options belong to
// classdiv alone.
TEST(Command, SeedAndWorkBoundRepeatTheClasses) {
  TempDir dir;
  const std::string book = write_book(dir, "分班.xlsx");
  auto classes = [&](const std::string& out) {
    CliResult r = run_lczs({"classdiv", book, "--classes", "3", "--max-diff", "-1", "--seed", "9",
                            "--evaluations", "40000", "-o", dir.file(out), "--yes"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    auto result = io::read_xlsx(dir.file(out));
    std::string text;
    for (int r = 2; r <= 31; ++r)
      text += result.sheets[0]->get(r, 1)->value.display_text() + ":" +
              result.sheets[0]->get(r, 2)->value.display_text() + " ";
    return text;
  };
  EXPECT_EQ(classes("一.xlsx"), classes("二.xlsx"));
  CliResult r = run_lczs({"proficiency", book, "--seed", "1", "--yes"});
  EXPECT_EQ(r.exit_code, 2) << r.out << r.err;
}

}  // namespace
}  // namespace lczs::classdiv
