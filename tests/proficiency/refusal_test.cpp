// Refusals before anything changes, failures inside a step, and runs that
// follow a stopped one.
#include <gtest/gtest.h>

#include "prof_harness.h"

namespace lczs::proficiency::testing {
namespace {

using jobs::JobOutcome;

Rows good_list() {
  return {{"班级", "学号", "姓名", "语文", "数学"},
          {301, 1, "甲", "A", "B"},
          {301, 2, "乙", nullptr, "C"},
          {302, 1, "丙", "d", "E"}};
}

Rows with_cell(Rows rows, int row, int col, Lit value) {
  rows[row - 1][col - 1] = std::move(value);
  return rows;
}

struct Refusal {
  const char* name;
  std::function<memory::WorkbookData()> book;
  std::vector<std::string> parts;  // the box names these
};

memory::WorkbookData grades_with_extra(const char* extra, int active) {
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", good_list());
  memory::add_sheet(book, extra, {{"旧"}});
  book.active_sheet = active;
  return book;
}

const Refusal kRefusals[] = {
    {"PresentSheetExists", [] { return grades_with_extra("年级实考", 0); }, {"“年级实考”"}},
    {"AbsentSheetExists", [] { return grades_with_extra("年级缺考", 0); }, {"“年级缺考”"}},
    {"ReportSheetExists", [] { return grades_with_extra("会考成绩分析", 0); }, {"“会考成绩分析”"}},
    {"RawSheetExists", [] { return grades_with_extra("原始数据", 0); }, {"“原始数据”"}},
    {"AbsentText", [] { return book_of("成绩", with_cell(good_list(), 3, 5, "缺考")); }, {"“成绩”", "E3", "缺考"}},
    {"LetterF", [] { return book_of("成绩", with_cell(good_list(), 4, 4, "F")); }, {"“成绩”", "D4", "“F”"}},
    {"APlus", [] { return book_of("成绩", with_cell(good_list(), 2, 5, "A+")); }, {"“成绩”", "E2", "A+"}},
    {"ZeroAsText", [] { return book_of("成绩", with_cell(good_list(), 2, 4, "0")); }, {"“成绩”", "D2"}},
    {"Number", [] { return book_of("成绩", with_cell(good_list(), 2, 4, 90)); }, {"“成绩”", "D2", "90"}},
    {"Space", [] { return book_of("成绩", with_cell(good_list(), 4, 5, " ")); }, {"“成绩”", "E4"}},
    // Slips that look like letters in the cell: the box says what is wrong.
    {"FullWidthLetter", [] { return book_of("成绩", with_cell(good_list(), 2, 4, "Ａ")); },
     {"“成绩”", "D2", "“Ａ”", "全角"}},
    {"FullWidthLower", [] { return book_of("成绩", with_cell(good_list(), 2, 4, "ｅ")); }, {"D2", "全角"}},
    {"LetterWithSpace", [] { return book_of("成绩", with_cell(good_list(), 2, 5, " B")); }, {"E2", "空格"}},
    {"NoClass", [] { return book_of("成绩", with_cell(good_list(), 3, 1, nullptr)); }, {"“成绩”", "A3", "班级"}},
    {"EmptySheet", [] { return book_of("空表", {}); }, {"“空表”", "A1"}},
    {"NoSubject", [] { return book_of("名单", {{"班级", "学号", "姓名"}, {301, 1, "甲"}}); }, {"“名单”", "D 列"}},
};

class ProficiencyRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ProficiencyRefusal, OneBoxThenExitNothingChanged) {
  Harness h(GetParam().book());
  const std::string before = h.dump();
  h.expect_start();
  h.ui.expect_message_containing(GetParam().parts.front()).expect_message(std::string(kQuit));
  EXPECT_EQ(h.run(), JobOutcome::Stopped);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  const auto messages = h.ui.messages();
  ASSERT_EQ(messages.size(), 3u);
  for (const auto& part : GetParam().parts) EXPECT_NE(messages[1].find(part), std::string::npos) << messages[1];
  for (const auto& d : h.ui.shown())
    if (d.kind == ui::ShownDialog::Kind::Message) {
      EXPECT_EQ(d.title, "栎川提示");
    }
  EXPECT_EQ(h.dump(), before);
  EXPECT_EQ(h.store->save_count, 0);
  EXPECT_TRUE(h.app.screen_updating());
}

INSTANTIATE_TEST_SUITE_P(Input, ProficiencyRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

// The active sheet may already be called 原始数据: it keeps its name.
TEST(ProficiencyRefusalEdge, ActiveSheetNamedRawIsAccepted) {
  Harness h(book_of("原始数据", good_list()));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  EXPECT_EQ(h.sheet_names(), (std::vector<std::string>{"原始数据", "年级缺考", "会考成绩分析", "年级实考"}));
}

// A report table that would pass the sheet's last row is refused before
// anything changes: 64 one-student classes and 16,381 subjects, as wide as a
// sheet goes, would end it at row 64 + 12 + 16381 * 65 = 1064841.
TEST(ProficiencyRefusalEdge, TableBeyondTheLastRow) {
  Rows rows(65);
  rows[0] = {"班级", "学号", "姓名"};
  rows[0].resize(host::kMaxCols, "科");
  for (int i = 1; i <= 64; ++i) {
    rows[i] = {300 + i, 1, "生"};
    rows[i].resize(host::kMaxCols, "A");
  }
  memory::MemoryApplication app;
  auto& wb = app.open(book_of("成绩", rows));
  auto refusal = hkfx_check_input(wb, wb.active_sheet());
  ASSERT_TRUE(refusal.has_value());
  for (const char* part : {"“成绩”", "1064841", "1048576"}) EXPECT_NE(refusal->find(part), std::string::npos) << *refusal;
}

// ---- Failures inside a step -------------------------------------------------------

struct Fault {
  const char* op;
  int nth;
  const char* step;
};

class ProficiencyFault : public ::testing::TestWithParam<Fault> {};

TEST_P(ProficiencyFault, StopsWithoutSaving) {
  Harness h(book_of("成绩", good_list()));
  host::FaultInjectingApplication faulty(h.app);
  faulty.fail_on(GetParam().op, GetParam().nth);
  h.expect_start();
  h.ui.expect_message_containing(GetParam().step).expect_message(std::string(kQuit));
  EXPECT_EQ(h.run(faulty), JobOutcome::Stopped);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  EXPECT_EQ(faulty.failures(), 1);
  EXPECT_EQ(h.store->save_count, 0);
  EXPECT_TRUE(h.app.screen_updating());
  EXPECT_FALSE(h.app.copy_mode());
  // A failure while preparing writes no statistics anywhere.
  if (std::string(GetParam().step) == "准备数据") {
    EXPECT_EQ(h.wb->find_sheet("会考成绩分析"), nullptr);
  }
  const HkState& st = h.job.state();
  EXPECT_FALSE(st.hk_go_on);
  EXPECT_EQ(st.hk_present_count, 0);
  EXPECT_EQ(st.work_book, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Steps, ProficiencyFault,
                         ::testing::Values(Fault{"set_name", 1, "准备数据"}, Fault{"copy_sheet_after", 1, "准备数据"},
                                           Fault{"sort", 1, "准备数据"}, Fault{"paste", 2, "准备数据"},
                                           Fault{"delete_cells", 1, "准备数据"}, Fault{"sort", 4, "统计各等级人数"},
                                           Fault{"count_if", 7, "统计各等级人数"}, Fault{"cut", 1, "生成分析表"},
                                           Fault{"set_border", 3, "生成分析表"},
                                           Fault{"replace_whole", 1, "生成分析表"}),
                         [](const auto& info) {
                           return std::string(info.param.op) + "_" + std::to_string(info.param.nth);
                         });

TEST(ProficiencyFaultEdge, SaveFailureReportsAndShowsNoEndMessage) {
  Harness h(book_of("成绩", good_list()));
  h.store->fail = true;
  h.expect_start();
  h.ui.expect_message_containing("保存工作簿失败：");
  EXPECT_EQ(h.run(), JobOutcome::SaveFailed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  EXPECT_EQ(h.ui.messages().size(), 2u);
  EXPECT_TRUE(h.app.screen_updating());
}

// ---- A stopped run, then a normal one ----------------------------------------------

TEST(ProficiencyRerun, RefusedThenFixedRunsNormally) {
  Harness h(book_of("成绩", with_cell(good_list(), 4, 4, "F")));
  h.expect_start();
  h.ui.expect_message_containing("D4").expect_message(std::string(kQuit));
  EXPECT_EQ(h.run(), JobOutcome::Stopped);

  h.wb->active_sheet().set_value(4, 4, host::Value::text("d"));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  expect_block(h.wb->sheet("会考成绩分析"), report_rows({{301, "语文", 1, 1, 0, 0, 0, 0, 1.0, 1.0},
                                                         {302, "语文", 1, 0, 0, 0, 1, 0, 0.0, 1.0},
                                                         {"年级", "语文", 2, 1, 0, 0, 1, 0, 0.5, 1.0},
                                                         {301, "数学", 1, 0, 1, 0, 0, 0, 1.0, 1.0},
                                                         {302, "数学", 1, 0, 0, 0, 0, 1, 0.0, 0.0},
                                                         {"年级", "数学", 2, 0, 1, 0, 0, 1, 0.5, 0.5}}));
  EXPECT_EQ(h.store->save_count, 1);
}

TEST(ProficiencyRerun, FailedThenAnotherWorkbookRunsCleanly) {
  Harness h(book_of("成绩", good_list()));
  {
    host::FaultInjectingApplication faulty(h.app);
    faulty.fail_on("count_if", 1);
    h.expect_start();
    h.ui.expect_message_containing("出错").expect_message(std::string(kQuit));
    EXPECT_EQ(h.run(faulty), JobOutcome::Stopped);
  }
  // A second workbook without absent students: nothing of the first run's
  // absent list may leak into it.
  auto& second = h.app.open(book_of("名单", {{"班级", "学号", "姓名", "语文"}, {401, 1, "甲", "B"}}));
  second.data().path = "/data/second.xlsx";
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  EXPECT_EQ(second.sheet_count(), 3);
  EXPECT_EQ(second.find_sheet("年级缺考"), nullptr);
  expect_block(second.sheet("会考成绩分析"), report_rows({{401, "语文", 1, 0, 1, 0, 0, 0, 1.0, 1.0},
                                                           {"年级", "语文", 1, 0, 1, 0, 0, 0, 1.0, 1.0}}));
  const HkState& st = h.job.state();
  EXPECT_FALSE(st.hk_has_absent);
  EXPECT_EQ(st.hk_student_count, 1);
  EXPECT_EQ(h.store->files.count("/data/second.xlsx"), 1u);
  EXPECT_EQ(h.store->files.count(kPath), 0u);
}

}  // namespace
}  // namespace lczs::proficiency::testing
