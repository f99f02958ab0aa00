// 会考成绩分析 end to end on workbooks built here, through the scripted
// dialogs, checked sheet by sheet and cell by cell.
#include <gtest/gtest.h>

#include "model/memory_internal.h"
#include "prof_harness.h"

namespace lczs::proficiency::testing {
namespace {

using jobs::JobOutcome;

const Rows kHeader = {{"班级", "学号", "姓名", "语文", "数学"}};

// Four students, no grade missing, in no particular order.
Rows complete_list() {
  return {{"班级", "学号", "姓名", "语文", "数学"},
          {302, 2, "丁", "A", "E"},
          {301, 2, "乙", "B", "C"},
          {302, 1, "丙", "C", "A"},
          {301, 1, "甲", "A", "B"}};
}

// Six students: 丙 lacks two grades, 己 one, 丁 has a 0 (moves too, since
// the list has blanks); 甲 wrote his letters in lower case.
Rows list_with_absent() {
  return {{"班级", "学号", "姓名", "语文", "数学", "英语"},
          {302, 1, "丙", "A", nullptr, nullptr},
          {301, 2, "乙", "B", "A", "C"},
          {301, 1, "甲", "a", "b", "c"},
          {302, 2, "丁", "C", 0, "B"},
          {302, 3, "戊", "D", "E", "A"},
          {301, 3, "己", nullptr, "A", "B"}};
}

TEST(ProficiencyRun, CompleteListGivesSortedCopyAndReport) {
  Harness h(book_of("成绩", complete_list()));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();

  EXPECT_EQ(h.sheet_names(), (std::vector<std::string>{"原始数据", "会考成绩分析", "年级实考"}));
  expect_block(h.wb->sheet("原始数据"), complete_list());
  expect_block(h.wb->sheet("年级实考"), {{"班级", "学号", "姓名", "语文", "数学"},
                                         {301, 1, "甲", "A", "B"},
                                         {301, 2, "乙", "B", "C"},
                                         {302, 1, "丙", "C", "A"},
                                         {302, 2, "丁", "A", "E"}});
  // The table was cut away from below the students.
  EXPECT_TRUE(h.wb->sheet("年级实考").value(5 + kTableGap - 1, 1).is_empty());
  EXPECT_TRUE(h.wb->sheet("年级实考").value(4 + kTableGap, 1).is_empty());
  expect_block(h.wb->sheet("会考成绩分析"), report_rows({
                                                {301, "语文", 2, 1, 1, 0, 0, 0, 1.0, 1.0},
                                                {302, "语文", 2, 1, 0, 1, 0, 0, 0.5, 1.0},
                                                {"年级", "语文", 4, 2, 1, 1, 0, 0, 0.75, 1.0},
                                                {301, "数学", 2, 0, 1, 1, 0, 0, 0.5, 1.0},
                                                {302, "数学", 2, 1, 0, 0, 0, 1, 0.5, 0.5},
                                                {"年级", "数学", 4, 1, 1, 1, 0, 1, 0.5, 0.75},
                                            }));

  const HkState& st = h.job.state();
  EXPECT_EQ(st.hk_student_count, 4);
  EXPECT_EQ(st.hk_subject_count, 2);
  EXPECT_EQ(st.hk_present_count, 4);
  EXPECT_FALSE(st.hk_has_absent);

  // Saved once, in its final state, with the report active.
  EXPECT_EQ(h.store->save_count, 1);
  EXPECT_EQ(h.store->files[kPath], h.dump());
  EXPECT_EQ(h.wb->active_sheet().name(), "会考成绩分析");
  EXPECT_EQ(h.wb->active_sheet().selection(), host::Area::cell(1, 1));
  EXPECT_TRUE(h.app.screen_updating());
  EXPECT_FALSE(h.app.copy_mode());
}

TEST(ProficiencyRun, AbsentStudentsMovedOnceWithBlanks) {
  Harness h(book_of("成绩", list_with_absent()));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();

  EXPECT_EQ(h.sheet_names(),
            (std::vector<std::string>{"原始数据", "年级缺考", "会考成绩分析", "年级实考"}));
  expect_block(h.wb->sheet("原始数据"), list_with_absent());
  expect_block(h.wb->sheet("年级缺考"), {{"班级", "学号", "姓名", "语文", "数学", "英语"},
                                         {301, 3, "己", " ", "A", "B"},
                                         {302, 1, "丙", "A", " ", " "},
                                         {302, 2, "丁", "C", " ", "B"}});
  expect_block(h.wb->sheet("年级实考"), {{"班级", "学号", "姓名", "语文", "数学", "英语"},
                                         {301, 1, "甲", "a", "b", "c"},
                                         {301, 2, "乙", "B", "A", "C"},
                                         {302, 3, "戊", "D", "E", "A"}});
  // Nothing of the parked rows stays below the students.
  const host::Worksheet& present = h.wb->sheet("年级实考");
  for (int r = 5; r <= 6 + kParkGap + 3; ++r)
    for (int c = 1; c <= 6; ++c) EXPECT_TRUE(present.value(r, c).is_empty()) << r << "," << c;

  expect_block(h.wb->sheet("会考成绩分析"),
               report_rows({
                   {301, "语文", 2, 1, 1, 0, 0, 0, 1.0, 1.0},
                   {302, "语文", 1, 0, 0, 0, 1, 0, 0.0, 1.0},
                   {"年级", "语文", 3, 1, 1, 0, 1, 0, 2.0 / 3, 1.0},
                   {301, "数学", 2, 1, 1, 0, 0, 0, 1.0, 1.0},
                   {302, "数学", 1, 0, 0, 0, 0, 1, 0.0, 0.0},
                   {"年级", "数学", 3, 1, 1, 0, 0, 1, 2.0 / 3, 1 - 1.0 / 3},
                   {301, "英语", 2, 0, 0, 2, 0, 0, 0.0, 1.0},
                   {302, "英语", 1, 1, 0, 0, 0, 0, 1.0, 1.0},
                   {"年级", "英语", 3, 1, 0, 2, 0, 0, 1.0 / 3, 1.0},
               }));
  const HkState& st = h.job.state();
  EXPECT_EQ(st.hk_student_count, 6);
  EXPECT_EQ(st.hk_subject_count, 3);
  EXPECT_EQ(st.hk_present_count, 3);
  EXPECT_TRUE(st.hk_has_absent);
  EXPECT_EQ(h.store->files[kPath], h.dump());
}

// A list past row 32,767 runs like a small one: two classes of 20,000 with
// the letters A to E in turn, the very last student absent.
TEST(ProficiencyRun, ListPastRow32767) {
  const int n = 40000;
  const char* const letters[] = {"A", "B", "C", "D", "E"};
  Rows input = {{"班级", "学号", "姓名", "语文"}}, present = input;
  for (int i = 0; i < n; ++i) {
    const std::string name = "生" + std::to_string(i + 1);
    input.push_back({301 + i % 2, i / 2 + 1, name, i == n - 1 ? Lit(nullptr) : Lit(letters[i / 2 % 5])});
  }
  for (int c = 0; c < 2; ++c)
    for (int j = 0; j < n / 2 - c; ++j)
      present.push_back({301 + c, j + 1, "生" + std::to_string(2 * j + c + 1), letters[j % 5]});
  Harness h(book_of("成绩", input));
  h.store->keep_dumps = false;
  h.expect_done();
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  EXPECT_EQ(h.store->save_count, 1);

  expect_block(h.wb->sheet("年级实考"), present);
  expect_block(h.wb->sheet("年级缺考"), {input[0], {302, 20000, "生40000", " "}});
  expect_block(h.wb->sheet("会考成绩分析"),
               report_rows({{301, "语文", 20000, 4000, 4000, 4000, 4000, 4000, 0.4, 0.8},
                            {302, "语文", 19999, 4000, 4000, 4000, 4000, 3999, 8000.0 / 19999, 1 - 3999.0 / 19999},
                            {"年级", "语文", 39999, 8000, 8000, 8000, 8000, 7999, 16000.0 / 39999,
                             1 - 7999.0 / 39999}}));
}

// Only a cell that is 0 as a whole turns blank on "年级缺考"; numbers and
// names that merely contain a 0 keep it.
TEST(ProficiencyRun, AbsentListBlanksWholeZerosOnly) {
  Harness h(book_of("成绩", {{"班级", "学号", "姓名", "语文", "数学"},
                             {300, 10, "王0", nullptr, 0},
                             {300, 20, "李", "A", "B"},
                             {300, 100, "赵", "B", nullptr}}));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  expect_block(h.wb->sheet("年级缺考"), {{"班级", "学号", "姓名", "语文", "数学"},
                                         {300, 10, "王0", " ", " "},
                                         {300, 100, "赵", "B", " "}});
  expect_block(h.wb->sheet("年级实考"), {{"班级", "学号", "姓名", "语文", "数学"}, {300, 20, "李", "A", "B"}});
}

TEST(ProficiencyRun, FortyStudentExampleAndReportFormat) {
  Rows rows = {{"班级", "学号", "姓名", "语文"}};
  const char* letters = "AAAAAAAAAABBBBBBBBBBBBBBBCCCCCCCCCCDDDEE";
  for (int i = 0; i < 40; ++i) rows.push_back({301, i + 1, "学生" + std::to_string(i + 1), std::string(1, letters[i])});
  Harness h(book_of("会考", rows));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed);

  auto& report = h.wb->mem_sheet("会考成绩分析");
  expect_block(report, report_rows({{301, "语文", 40, 10, 15, 10, 3, 2, 0.625, 0.95},
                                    {"年级", "语文", 40, 10, 15, 10, 3, 2, 0.625, 0.95}}));
  // Stored at full precision, not rounded to the two decimals shown.
  EXPECT_EQ(report.value(2, 9).as_number(), 25.0 / 40);
  EXPECT_EQ(report.value(2, 10).as_number(), 1.0 - 2.0 / 40);
  // What the user reads in the cells, the header texts included.
  EXPECT_EQ(memory::detail::shown_text(report.value(2, 9), report.format(2, 9).number_format), "62.50%");
  EXPECT_EQ(memory::detail::shown_text(report.value(3, 10), report.format(3, 10).number_format), "95.00%");
  EXPECT_EQ(memory::detail::shown_text(report.value(1, 9), report.format(1, 9).number_format), "AB率");
  EXPECT_EQ(memory::detail::shown_text(report.value(1, 10), report.format(1, 10).number_format), "合格率");

  for (int r = 1; r <= 3; ++r) {
    for (int c = 1; c <= 10; ++c) {
      SCOPED_TRACE(host::address(host::Area::cell(r, c), false));
      const memory::Format& f = report.format(r, c);
      for (const memory::BorderLine* line : {&f.borders.left, &f.borders.right, &f.borders.top, &f.borders.bottom}) {
        EXPECT_EQ(line->style, host::LineStyle::Continuous);
        EXPECT_EQ(line->weight, host::BorderWeight::Thin);
        EXPECT_EQ(line->color.kind, memory::Color::Kind::Auto);
      }
      EXPECT_FALSE(f.borders.diagonal_up);
      EXPECT_FALSE(f.borders.diagonal_down);
      EXPECT_EQ(f.alignment.horizontal, host::HAlign::Center);
      EXPECT_EQ(f.alignment.vertical, host::VAlign::Center);
      EXPECT_FALSE(f.alignment.wrap_text);
      EXPECT_FALSE(f.alignment.shrink_to_fit);
      EXPECT_EQ(f.alignment.rotation, 0);
      // The rate columns, header row included.
      EXPECT_EQ(f.number_format, c >= 9 ? "0.00%" : "General");
    }
  }
  EXPECT_TRUE(report.merges().empty());
  for (int c = 1; c <= 10; ++c) EXPECT_EQ(report.column_width(c), 8) << c;
  EXPECT_NE(report.column_width(11), 8);
  // Nothing outside the table is framed.
  EXPECT_EQ(report.format(4, 1).borders.top.style, host::LineStyle::None);
}

TEST(ProficiencyRun, InputSheetNotFirst) {
  memory::WorkbookData book;
  memory::add_sheet(book, "封面", {{"会考"}});
  memory::add_sheet(book, "成绩", list_with_absent());
  memory::add_sheet(book, "备注", {{"无"}});
  book.active_sheet = 1;
  Harness h(std::move(book));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_EQ(h.sheet_names(), (std::vector<std::string>{"封面", "年级缺考", "会考成绩分析", "年级实考",
                                                       "原始数据", "备注"}));
  expect_block(h.wb->sheet("封面"), {{"会考"}});
  expect_block(h.wb->sheet("原始数据"), list_with_absent());
  EXPECT_EQ(h.wb->sheet("年级缺考").current_region(1, 1).row_count(), 4);
  EXPECT_EQ(h.wb->sheet("年级实考").current_region(1, 1).row_count(), 4);
}

TEST(ProficiencyRun, ZeroWithoutBlanksStaysAndCountsAsPass) {
  Harness h(book_of("成绩", {{"班级", "学号", "姓名", "语文"}, {301, 1, "甲", 0}, {301, 2, "乙", "E"}}));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_EQ(h.sheet_names(), (std::vector<std::string>{"原始数据", "会考成绩分析", "年级实考"}));
  expect_block(h.wb->sheet("年级实考"), {{"班级", "学号", "姓名", "语文"}, {301, 1, "甲", 0}, {301, 2, "乙", "E"}});
  expect_block(h.wb->sheet("会考成绩分析"), report_rows({{301, "语文", 2, 0, 0, 0, 0, 1, 0.0, 0.5},
                                                         {"年级", "语文", 2, 0, 0, 0, 0, 1, 0.0, 0.5}}));
}

TEST(ProficiencyRun, EveryStudentAbsentShowsNoRate) {
  Harness h(book_of("成绩", {{"班级", "学号", "姓名", "语文", "数学"},
                             {301, 1, "甲", nullptr, "A"},
                             {302, 1, "乙", "B", nullptr}}));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  expect_block(h.wb->sheet("年级实考"), kHeader);
  expect_block(h.wb->sheet("年级缺考"), {{"班级", "学号", "姓名", "语文", "数学"},
                                         {301, 1, "甲", " ", "A"},
                                         {302, 1, "乙", "B", " "}});
  expect_block(h.wb->sheet("会考成绩分析"), report_rows({{"年级", "语文", 0, 0, 0, 0, 0, 0, nullptr, nullptr},
                                                         {"年级", "数学", 0, 0, 0, 0, 0, 0, nullptr, nullptr}}));
  EXPECT_EQ(h.job.state().hk_present_count, 0);
}

// Class names written as text, some sorting after the header text "班级"
// and some before it.
TEST(ProficiencyRun, TextClassNamesReachTheReport) {
  const std::pair<const char*, const char*> names[] = {
      {"高一(1)班", "高一(2)班"}, {"1班", "2班"}, {"1班", "高一班"}};
  for (const auto& [one, two] : names) {
    SCOPED_TRACE(one);
    Harness h(book_of("成绩", {{"班级", "学号", "姓名", "语文"},
                               {two, 1, "甲", "A"},
                               {one, 2, "乙", "B"},
                               {one, 1, "丙", nullptr},
                               {one, 3, "丁", "E"},
                               {two, 2, "戊", "c"}}));
    h.expect_done();
    EXPECT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
    expect_block(h.wb->sheet("年级实考"), {{"班级", "学号", "姓名", "语文"},
                                           {one, 2, "乙", "B"},
                                           {one, 3, "丁", "E"},
                                           {two, 1, "甲", "A"},
                                           {two, 2, "戊", "c"}});
    expect_block(h.wb->sheet("年级缺考"), {{"班级", "学号", "姓名", "语文"}, {one, 1, "丙", " "}});
    expect_block(h.wb->sheet("会考成绩分析"), report_rows({{one, "语文", 2, 0, 1, 0, 0, 1, 0.5, 0.5},
                                                           {two, "语文", 2, 1, 0, 1, 0, 0, 0.5, 1.0},
                                                           {"年级", "语文", 4, 1, 1, 1, 0, 1, 0.5, 0.75}}));
  }
}

// A list written wholly as text (class names and student numbers such as
// "01" kept as text) gives the sorts nothing to tell the header row by; it
// must stay the header all the same.
TEST(ProficiencyRun, AllTextListKeepsItsHeader) {
  Harness h(book_of("成绩", {{"班级", "学号", "姓名", "语文"},
                             {"2班", "01", "甲", "A"},
                             {"1班", "02", "乙", "B"},
                             {"1班", "01", "丙", nullptr},
                             {"1班", "03", "丁", "E"},
                             {"2班", "02", "戊", "c"}}));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  expect_block(h.wb->sheet("年级实考"), {{"班级", "学号", "姓名", "语文"},
                                         {"1班", "02", "乙", "B"},
                                         {"1班", "03", "丁", "E"},
                                         {"2班", "01", "甲", "A"},
                                         {"2班", "02", "戊", "c"}});
  expect_block(h.wb->sheet("年级缺考"), {{"班级", "学号", "姓名", "语文"}, {"1班", "01", "丙", " "}});
  expect_block(h.wb->sheet("会考成绩分析"), report_rows({{"1班", "语文", 2, 0, 1, 0, 0, 1, 0.5, 0.5},
                                                         {"2班", "语文", 2, 1, 0, 1, 0, 0, 0.5, 1.0},
                                                         {"年级", "语文", 4, 1, 1, 1, 0, 1, 0.5, 0.75}}));
}

TEST(ProficiencyRun, ClassAsNumberAndAsTextAreTwoClasses) {
  Harness h(book_of("成绩", {{"班级", "学号", "姓名", "语文"},
                             {301, 1, "甲", "A"},
                             {"301", 2, "乙", "B"},
                             {301, 3, "丙", "C"}}));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  expect_block(h.wb->sheet("会考成绩分析"), report_rows({{301, "语文", 2, 1, 0, 1, 0, 0, 0.5, 1.0},
                                                         {"301", "语文", 1, 0, 1, 0, 0, 0, 1.0, 1.0},
                                                         {"年级", "语文", 3, 1, 1, 1, 0, 0, 2.0 / 3, 1.0}}));
}

// ---- Declining -----------------------------------------------------------------

struct Decline {
  const char* name;
  std::function<void(ui::ScriptedUi&)> script;
};

class ProficiencyDecline : public ::testing::TestWithParam<Decline> {};

TEST_P(ProficiencyDecline, LeavesWorkbookUntouchedAndUnsaved) {
  Harness h(book_of("成绩", list_with_absent()));
  const std::string before = h.dump();
  GetParam().script(h.ui);
  h.ui.expect_message(std::string(kQuit));
  EXPECT_EQ(h.run(), JobOutcome::Stopped);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  EXPECT_EQ(h.dump(), before);
  EXPECT_EQ(h.store->save_count, 0);
  EXPECT_TRUE(h.app.screen_updating());
  EXPECT_FALSE(h.job.state().hk_go_on);
  for (const auto& d : h.ui.shown()) {
    if (d.kind == ui::ShownDialog::Kind::Message) {
      EXPECT_EQ(d.title, "栎川提示");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, ProficiencyDecline,
    ::testing::Values(
        Decline{"CancelQuestion", [](ui::ScriptedUi& ui) { ui.expect_message(std::string(kAskStart), ui::kCancel); }},
        Decline{"FormatAdjust",
                [](ui::ScriptedUi& ui) {
                  ui.expect_message(std::string(kAskStart), ui::kOk).expect_form("hkgssz", [](ui::FormDriver& f) {
                    f.click("hkfx_tz_bt");
                  });
                }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProficiencyRun, CloseBoxOnFormatFormGoesOn) {
  Harness h(book_of("成绩", complete_list()));
  h.ui.expect_message(std::string(kAskStart), ui::kOk)
      .expect_form("hkgssz", [](ui::FormDriver& f) { f.close_box(); })
      .expect_message(std::string(kDone));
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
}

TEST(ProficiencyForm, DesignedLayout) {
  HkState st;
  auto form = make_hkgssz(st);
  EXPECT_EQ(form->name(), "hkgssz");
  EXPECT_EQ(form->caption(), "数据格式要求");
  std::vector<std::string> names;
  for (const auto& c : form->controls()) names.push_back(c->name);
  EXPECT_EQ(names, (std::vector<std::string>{"Image1", "ts_text", "hkfx_tz_bt", "hkfx_zx_bt", "Label1"}));

  const ui::Control& hint = form->control("ts_text");
  EXPECT_EQ(hint.caption, "提示：原始数据格式是否与下图一致，不一样请按图进行格式调整！");
  EXPECT_EQ(hint.font.size, 10.5);
  EXPECT_EQ(hint.font.name, "宋体");
  EXPECT_EQ(form->control("Label1").caption, "注意 ：学科数目无限制");
  EXPECT_EQ(form->control("Label1").font.size, 9);
  EXPECT_EQ(form->control("hkfx_tz_bt").caption, "格式调整>>");
  EXPECT_EQ(form->control("hkfx_tz_bt").role, "cancel");
  EXPECT_EQ(form->control("hkfx_zx_bt").caption, "继续执行>>");
  EXPECT_EQ(form->control("hkfx_zx_bt").role, "confirm");

  const ui::PictureTable& pic = form->control("Image1").picture;
  ASSERT_EQ(pic.cells.size(), 8u);
  EXPECT_EQ(pic.cells[0], (std::vector<std::string>{"班级", "学号", "姓名", "语文", "数学", "英语"}));
  for (int i = 1; i <= 7; ++i) {
    ASSERT_EQ(pic.cells[i].size(), 6u);
    EXPECT_EQ(pic.cells[i][0], "301");
    EXPECT_EQ(pic.cells[i][1], std::to_string(i));
    for (int c = 3; c < 6; ++c) EXPECT_TRUE(pic.cells[i][c] == "A" || pic.cells[i][c] == "B" || pic.cells[i][c] == "C");
  }
}

}  // namespace
}  // namespace lczs::proficiency::testing
