// What a user sees of the report and the dialogs beyond the numbers: every
// caption, the title rows, the uniform style on a sheet of the user's own,
// and where the run leaves the user (active sheet, selection).
#include <gtest/gtest.h>

#include <algorithm>

#include "exam_harness.h"

namespace lczs::examanalysis::testing {
namespace {

using host::Area;
using jobs::JobOutcome;

struct Caption {
  const char* form;
  const char* control;
  const char* text;
};

// Every text of both forms, character for character (full-width colons and
// brackets where the user sees them, half-width where they are half-width).
const Caption kCaptions[] = {
    {"ksgssz", "ts_text", "提示：原始数据格式是否与下图一致，不一样请按图进行格式调整！"},
    {"ksgssz", "ksfx_tz_bt", "格式调整>>"},
    {"ksgssz", "ksfx_zx_bt", "继续执行>>"},
    {"ksgssz", "Label1", "注意 ：学科数目无限制(不要有总分列)"},
    {"ksfxForm", "Page1", "基本信息设置"},
    {"ksfxForm", "Label1", "请输入学生届："},
    {"ksfxForm", "Label4", "(格式如：2001)"},
    {"ksfxForm", "nieji", "年级："},
    {"ksfxForm", "Label5", "(格式如：G1,G2)"},
    {"ksfxForm", "Label2", "请输入保存文件名:"},
    {"ksfxForm", "Label3", "(格式如: 2001学年第二学期高一年级期中考试成绩分析)"},
    {"ksfxForm", "Page2", "按年级排名"},
    {"ksfxForm", "Label6", "年级前X、Y、Z名"},
    {"ksfxForm", "Label7", "年级后X、Y、Z名"},
    {"ksfxForm", "btnOk", "确定"},
    {"ksfxForm", "btnCancel", "取消"},
};

TEST(ExamLayout, FormTextsAreExact) {
  Harness h(book_of("成绩", {{"班级", "学号", "姓名", "语文"}, {101, 1, "甲", 80}}));
  auto check = [](ui::Form& form) {
    for (const Caption& c : kCaptions) {
      if (form.name() != c.form) continue;
      EXPECT_EQ(form.control(c.control).caption, c.text) << c.form << "." << c.control;
      EXPECT_EQ(form.control(c.control).font.name, "宋体") << c.control;
    }
  };
  h.ui.expect_message(kMsgAsk, ui::kOk).expect_form("ksgssz", [&](ui::FormDriver& f) {
    EXPECT_EQ(f.form().caption(), "数据格式要求");
    check(f.form());
    // The picture: class 101, student numbers 1 to 8, some scores missing.
    const auto& cells = f.form().control("Image1").picture.cells;
    ASSERT_EQ(cells.size(), 9u);
    bool some_empty = false;
    for (std::size_t r = 1; r < cells.size(); ++r) {
      EXPECT_EQ(cells[r][0], "101");
      EXPECT_EQ(cells[r][1], std::to_string(r));
      for (std::size_t c = 3; c < cells[r].size(); ++c) some_empty |= cells[r][c].empty();
    }
    EXPECT_TRUE(some_empty);
    f.click("ksfx_zx_bt");
  });
  h.ui.expect_form("ksfxForm", [&](ui::FormDriver& f) {
    check(f.form());
    f.click("btnCancel");
  });
  h.ui.expect_message(kMsgExit);
  EXPECT_EQ(h.run(), JobOutcome::Stopped);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
}

// Two classes, one absentee, a top band: 年级各科均分 gets three title rows.
Rows banded_grade() {
  return {{"班级", "学号", "姓名", "语文", "数学"},
          {101, 1, "甲", 90, 80},
          {101, 2, "乙", nullptr, 70},
          {102, 1, "丙", 85, 95},
          {102, 2, "丁", 60, 66}};
}

TEST(ExamLayout, TitleRowsAreBoldSong14AlignedToTheTop) {
  Harness h(book_of("成绩", banded_grade()));
  Options o;
  o.top = {"2", "", ""};
  h.expect_done(o);
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  const auto& avg = h.sheet("年级各科均分");
  // Title rows: averages (row 1), band table (after 2 classes + grade row),
  // absentee table (after 2 classes of the band table).
  struct Title {
    int row;
    const char* text;
    Area merged;
  };
  for (Title t : {Title{1, "年级各科均分", {1, 1, 1, 5}}, Title{6, "各班各名次段统计", {6, 1, 6, 2}},
                  Title{10, "年级缺考", {10, 1, 10, 5}}}) {
    SCOPED_TRACE(t.text);
    EXPECT_EQ(avg.value(t.row, 1), host::Value::text(t.text));
    EXPECT_EQ(avg.merge_at(t.row, 1), t.merged);
    const memory::Format& f = avg.format(t.row, 1);
    EXPECT_EQ(f.font.name, "宋体");
    EXPECT_EQ(f.font.size, 14);
    EXPECT_TRUE(f.font.bold);
    EXPECT_FALSE(f.font.italic);
    EXPECT_EQ(f.alignment.horizontal, host::HAlign::Center);
    EXPECT_EQ(f.alignment.vertical, host::VAlign::Top);
    EXPECT_FALSE(f.alignment.wrap_text);
    EXPECT_TRUE(f.alignment.shrink_to_fit);
    // The header under each title keeps the table style.
    const memory::Format& head = avg.format(t.row + 1, 1);
    EXPECT_EQ(head.font.size, 10);
    EXPECT_FALSE(head.font.bold);
    EXPECT_EQ(head.alignment.vertical, host::VAlign::Center);
    EXPECT_EQ(head.borders.top.style, host::LineStyle::Continuous);
  }
  EXPECT_EQ(avg.row_height(1), 45);
  EXPECT_EQ(avg.format(3, 3).number_format, "0.00");
  EXPECT_EQ(avg.format(5, 5).number_format, "0.00");  // 年级均分 of 总分
}

TEST(ExamLayout, EveryVisibleSheetGetsTheTableStyleAnEmptyOneOnA1) {
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", banded_grade());
  memory::add_sheet(book, "空表", {});
  memory::add_sheet(book, "记录", {{"项目", "次数"}, {"补考", 0}, {"重考", 2}});
  Harness h(std::move(book));
  h.expect_done();
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();

  const auto& empty = h.sheet("空表");
  const memory::Format& a1 = empty.format(1, 1);
  EXPECT_EQ(a1.font.name, "宋体");
  EXPECT_EQ(a1.font.size, 10);
  for (host::LineStyle s : {a1.borders.left.style, a1.borders.top.style, a1.borders.right.style,
                            a1.borders.bottom.style})
    EXPECT_EQ(s, host::LineStyle::Continuous);
  EXPECT_EQ(a1.alignment.horizontal, host::HAlign::Center);
  EXPECT_EQ(a1.alignment.vertical, host::VAlign::Center);
  EXPECT_TRUE(a1.alignment.shrink_to_fit);
  EXPECT_EQ(empty.format(2, 1).font.size, 11);  // only A1

  // A sheet of the user's own: its 0 blanked, its table boxed and centred.
  expect_block(h.sheet("记录"), {{"项目", "次数"}, {"补考", nullptr}, {"重考", 2}});
  EXPECT_EQ(h.sheet("记录").format(3, 2).borders.bottom.style, host::LineStyle::Continuous);
  EXPECT_EQ(h.sheet("记录").format(3, 2).font.size, 10);
}

TEST(ExamLayout, RunEndsOnTheCoverWithTheNoteSelected) {
  Harness h(book_of("成绩", banded_grade()));
  Options o;
  o.top = {"1", "", ""};
  o.bottom = {"1", "", ""};
  h.expect_done(o);
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  EXPECT_EQ(h.wb->active_sheet().name(), "封面");
  const auto& cover = h.sheet("封面");
  EXPECT_EQ(cover.selection(), (Area{19, 3, 19, 7}));
  EXPECT_EQ(cover.active_cell(), (host::CellRef{19, 3}));
  for (int c = 4; c <= 6; ++c)
    EXPECT_EQ(cover.format(40, c).number_format, "[DBNum1]yyyy\"年\"m\"月\"d\"日\"") << c;
  // The title keeps to one line and its own size.
  EXPECT_FALSE(cover.format(15, 1).alignment.shrink_to_fit);
  EXPECT_FALSE(cover.format(15, 1).font.bold);
  // Nothing but the five items: no width or height touched.
  EXPECT_EQ(cover.current_region(5, 5), Area::cell(5, 5));
  EXPECT_EQ(cover.row_height(15), h.sheet("封面").row_height(16));
}

// The extracts hold the K best (worst) by position in the grade's list,
// listed by 班级 then 学号, whatever order the ranking left them in.
TEST(ExamLayout, ExtractsListTheirStudentsByClassThenStudentNumber) {
  const Rows rows = generated_grade(60, 3, 2, 11);
  Harness h(book_of("成绩", rows));
  Options o;
  o.top = {"9", "", ""};
  o.bottom = {"7", "", ""};
  h.expect_done(o);
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();

  // Reference: total descending, ties by class ascending then input order.
  struct Student {
    double total;
    int cls, number;
  };
  std::vector<Student> list;
  for (std::size_t i = 1; i < rows.size(); ++i)
    list.push_back({rows[i][3].v.as_number() + rows[i][4].v.as_number(),
                    static_cast<int>(rows[i][0].v.as_number()),
                    static_cast<int>(rows[i][1].v.as_number())});
  std::stable_sort(list.begin(), list.end(), [](const Student& a, const Student& b) {
    return a.total != b.total ? a.total > b.total : a.cls < b.cls;
  });
  auto expect_extract = [&](const char* name, std::vector<Student> want) {
    SCOPED_TRACE(name);
    std::sort(want.begin(), want.end(), [](const Student& a, const Student& b) {
      return a.cls != b.cls ? a.cls < b.cls : a.number < b.number;
    });
    const auto& sheet = h.sheet(name);
    ASSERT_EQ(sheet.current_region(1, 1).row_count(), static_cast<int>(want.size()) + 1);
    EXPECT_EQ(sheet.value(1, 9), host::Value::text("人数"));
    for (std::size_t i = 0; i < want.size(); ++i) {
      const int r = static_cast<int>(i) + 2;
      EXPECT_EQ(sheet.value(r, 1).as_number(), want[i].cls) << r;
      EXPECT_EQ(sheet.value(r, 2).as_number(), want[i].number) << r;
      EXPECT_EQ(sheet.value(r, 6).as_number(), want[i].total) << r;
    }
    // The merged 人数 cells end up centred both ways by the table style.
    EXPECT_EQ(sheet.format(2, 9).alignment.vertical, host::VAlign::Center);
    EXPECT_EQ(sheet.format(2, 9).alignment.horizontal, host::HAlign::Center);
  };
  expect_extract("年级前9名", {list.begin(), list.begin() + 9});
  expect_extract("年级后7名", {list.end() - 7, list.end()});
}

}  // namespace
}  // namespace lczs::examanalysis::testing

namespace lczs::examanalysis::testing {
namespace {

// The switches the driver flips around the steps (screen updating, alerts)
// may fail too: the run still ends with one of its own closing messages and
// never lets the failure out.
TEST(ExamHousekeeping, FailingSwitchesEndTheRunWithItsOwnMessage) {
  for (const char* op : {"set_screen_updating", "set_display_alerts"}) {
    for (int nth = 1; nth <= 4; ++nth) {
      SCOPED_TRACE(std::string(op) + " #" + std::to_string(nth));
      Harness h(book_of("成绩", {{"班级", "学号", "姓名", "语文"}, {101, 1, "甲", 80}, {101, 2, "乙", nullptr}}));
      host::FaultInjectingApplication faulty(h.app);
      faulty.fail_on(op, nth);
      h.expect_start().expect_options(Options{});
      h.ui.expect_message_containing("").expect_message_containing("");
      jobs::JobEnv env{faulty, h.ui, h.clock};
      JobOutcome outcome = JobOutcome::Unavailable;
      try {
        outcome = h.job.ksfx_run(env);
      } catch (const std::exception& e) {
        ADD_FAILURE() << "escaped: " << e.what();
        continue;
      }
      const auto& said = h.ui.messages();
      ASSERT_GE(said.size(), 2u);
      if (outcome == JobOutcome::Completed) {
        EXPECT_EQ(said.back(), kMsgDone);
        EXPECT_EQ(h.store->save_count, 1);
      } else if (outcome == JobOutcome::SaveFailed) {
        // Only when the save itself could not go ahead.
        EXPECT_EQ(said.back().rfind("保存工作簿失败：", 0), 0u) << said.back();
        EXPECT_EQ(h.store->save_count, 0);
      } else {
        EXPECT_EQ(outcome, JobOutcome::Stopped);
        EXPECT_EQ(said.back(), kMsgExit);
        EXPECT_EQ(said.size(), 3u) << h.ui.report();  // question, what failed, exit
        EXPECT_EQ(h.store->save_count, 0);
      }
    }
  }
}

// Whatever host call fails, and whenever, the failure stays inside the run:
// it ends with a box of its own and nothing but a finished report is saved.
TEST(ExamHousekeeping, NoHostFailureEscapesTheRun) {
  const char* const ops[] = {
      "activate", "active_cell", "active_sheet", "active_workbook", "add_page_break", "add_sheet",
      "autofit_columns", "clear_contents", "copy", "copy_sheet_after", "current_region", "cut",
      "delete_cells", "delete_sheet", "display_alerts", "end_copy_mode", "end_down", "find_sheet",
      "full_name", "index", "insert_cells", "merge", "move_sheet_before", "name", "paste",
      "replace_whole", "save_as", "select", "set_alignment", "set_border", "set_characters_font",
      "set_display_alerts", "set_font", "set_formula", "set_formula_r1c1", "set_name",
      "set_number_format", "set_row_height", "set_screen_updating", "set_value", "sheet",
      "sheet_count", "sort", "value", "values", "visible", "write_values", "page_breaks"};
  int runs = 0;
  for (const char* op : ops) {
    for (int nth : {1, 2, 3, 4, 5, 9, 40}) {
      SCOPED_TRACE(std::string(op) + " #" + std::to_string(nth));
      Harness h(book_of("成绩", banded_grade()));
      host::FaultInjectingApplication faulty(h.app);
      faulty.fail_on(op, nth);
      Options o;
      o.top = {"1", "", ""};
      o.bottom = {"1", "", ""};
      h.expect_start().expect_options(o);
      h.ui.expect_message_containing("").expect_message_containing("");
      jobs::JobEnv env{faulty, h.ui, h.clock};
      JobOutcome outcome = JobOutcome::Unavailable;
      try {
        outcome = h.job.ksfx_run(env);
      } catch (const std::exception& e) {
        ADD_FAILURE() << "escaped: " << e.what();
        continue;
      } catch (const ui::ScriptViolation&) {
        continue;  // failed before the question: a different, but own, box
      }
      ++runs;
      if (outcome != JobOutcome::Completed) {
        EXPECT_EQ(h.store->save_count, 0);
      } else {
        EXPECT_EQ(h.ui.messages().back(), kMsgDone);
      }
    }
  }
  EXPECT_GT(runs, 100);
}

}  // namespace
}  // namespace lczs::examanalysis::testing
