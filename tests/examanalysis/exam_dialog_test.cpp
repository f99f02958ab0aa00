// The dialogs of the exam analysis, refusals before anything changes,
// failures inside a step and of the save, and runs after a stopped one.
#include <gtest/gtest.h>

#include <functional>

#include "exam_harness.h"

namespace lczs::examanalysis::testing {
namespace {

using jobs::JobOutcome;

Rows small_grade() {
  return {{"班级", "学号", "姓名", "语文", "数学"},
          {101, 1, "甲", 90, 80},
          {101, 2, "乙", nullptr, 70},
          {102, 1, "丙", 85, 95},
          {102, 2, "丁", 60, 66},
          {103, 1, "戊", 77, 88}};
}
// Students who sat every subject in small_grade().
constexpr int kSmallSat = 4;

// A stopped run: the workbook as it was, no file, screen updating on.
void expect_untouched(Harness& h, const std::string& before) {
  EXPECT_EQ(h.dump(), before);
  EXPECT_EQ(h.store->save_count, 0);
  EXPECT_TRUE(h.store->files.empty());
  EXPECT_TRUE(h.app.screen_updating());
}

TEST(ExamDialogs, FormsHaveTheirDesignedControls) {
  Harness h(book_of("成绩", small_grade()));
  h.ui.expect_message(kMsgAsk, ui::kOk).expect_form("ksgssz", [](ui::FormDriver& f) {
    ui::Form& form = f.form();
    EXPECT_EQ(form.caption(), "数据格式要求");
    EXPECT_EQ(form.control("ksfx_tz_bt").caption, "格式调整>>");
    EXPECT_EQ(form.control("ksfx_tz_bt").role, "cancel");
    EXPECT_EQ(form.control("ksfx_zx_bt").caption, "继续执行>>");
    EXPECT_EQ(form.control("ksfx_zx_bt").role, "confirm");
    EXPECT_EQ(form.control("Label1").caption, "注意 ：学科数目无限制(不要有总分列)");
    const auto& cells = form.control("Image1").picture.cells;
    ASSERT_EQ(cells.size(), 9u);
    EXPECT_EQ(cells[0], (std::vector<std::string>{"班级", "学号", "姓名", "语文", "数学", "英语", "物理", "化学"}));
    f.close_box();  // behaves like 继续执行>>
  });
  h.ui.expect_form("ksfxForm", [](ui::FormDriver& f) {
    ui::Form& form = f.form();
    EXPECT_EQ(form.caption(), "考试成绩分析系统");
    EXPECT_EQ(form.font.name, "宋体");
    EXPECT_EQ(form.font.size, 9);
    auto names = [&](const std::string& container) {
      std::vector<std::string> out;
      for (ui::Control* c : form.controls_in(container)) out.push_back(c->name);
      return out;
    };
    EXPECT_EQ(names(""), (std::vector<std::string>{"btnOk", "btnCancel", "MultiPage1"}));
    EXPECT_EQ(names("MultiPage1"), (std::vector<std::string>{"Page1", "Page2"}));
    EXPECT_EQ(names("Page1"), (std::vector<std::string>{"Label1", "txtstdjie", "Label4", "nieji", "txtnj",
                                                        "Label5", "Label2", "txtfilename", "Label3"}));
    EXPECT_EQ(names("Page2"), (std::vector<std::string>{"Label6", "nq1", "nq2", "nq3", "Label7", "nh1",
                                                        "nh2", "nh3"}));
    EXPECT_EQ(form.control("Page1").caption, "基本信息设置");
    EXPECT_EQ(form.control("Page2").caption, "按年级排名");
    EXPECT_EQ(form.control("Label3").caption, "(格式如: 2001学年第二学期高一年级期中考试成绩分析)");
    EXPECT_EQ(form.control("Label6").caption, "年级前X、Y、Z名");
    EXPECT_EQ(form.control("Label7").caption, "年级后X、Y、Z名");
    EXPECT_EQ(form.control("btnOk").role, "confirm");
    EXPECT_EQ(form.control("btnCancel").role, "cancel");
    f.click("btnCancel");
  });
  h.ui.expect_message(kMsgExit);
  EXPECT_EQ(h.run(), JobOutcome::Stopped);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
}

struct Decline {
  const char* name;
  std::function<void(Harness&)> script;
  std::vector<std::string> forms;
};

class ExamDecline : public ::testing::TestWithParam<Decline> {};

TEST_P(ExamDecline, LeavesTheWorkbookUntouched) {
  Harness h(book_of("成绩", small_grade()));
  const std::string before = h.dump();
  GetParam().script(h);
  h.ui.expect_message(kMsgExit);
  EXPECT_EQ(h.run(), JobOutcome::Stopped);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  EXPECT_EQ(h.ui.forms(), GetParam().forms);
  expect_untouched(h, before);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ExamDecline,
    ::testing::Values(
        Decline{"CancelQuestion", [](Harness& h) { h.ui.expect_message(kMsgAsk, ui::kCancel); }, {}},
        Decline{"AdjustFormat",
                [](Harness& h) {
                  h.ui.expect_message(kMsgAsk, ui::kOk).expect_form("ksgssz", [](ui::FormDriver& f) {
                    f.click("ksfx_tz_bt");
                  });
                },
                {"ksgssz"}},
        Decline{"CancelOptions",
                [](Harness& h) {
                  h.expect_start();
                  h.ui.expect_form("ksfxForm", [](ui::FormDriver& f) {
                    fill_options(f, Options{});
                    f.click("btnCancel");
                  });
                },
                {"ksgssz", "ksfxForm"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExamDialogs, MissingBasicInformationBringsTheFormBackEmpty) {
  Harness h(book_of("成绩", small_grade()));
  h.expect_start();
  h.ui.expect_form("ksfxForm", [](ui::FormDriver& f) {
    f.set_text("txtstdjie", "2001").set_text("txtnj", "G1").set_text("nq1", "2");
    f.click("btnOk");
  });
  h.ui.expect_message(kMsgNeedInfo);
  h.ui.expect_form("ksfxForm", [](ui::FormDriver& f) {
    for (const auto& c : f.form().controls()) {
      if (c->kind == ui::ControlKind::TextBox) {
        EXPECT_EQ(c->text, "") << c->name;
      }
    }
    fill_options(f, Options{});
    f.click("btnOk");
  });
  h.ui.expect_message(kMsgDone);
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  const auto& shown = h.ui.shown();
  auto it = std::find_if(shown.begin(), shown.end(), [](const auto& d) { return d.text == kMsgNeedInfo; });
  ASSERT_NE(it, shown.end());
  EXPECT_EQ(it->title, "");
  // The band typed on the refused form was not kept.
  EXPECT_EQ(h.wb->find_sheet("年级前2名"), nullptr);
}

struct FormRefusal {
  const char* name;
  Options typed;
  std::vector<std::string> parts;  // the message holds these
};

Options with_name(std::string name) {
  Options o;
  o.name = std::move(name);
  return o;
}
Options with_top(std::string a, std::string b = "") {
  Options o;
  o.top = {std::move(a), std::move(b), ""};
  return o;
}
Options with_bottom(std::string c) {
  Options o;
  o.bottom = {"", "", std::move(c)};
  return o;
}

class ExamFormRefusal : public ::testing::TestWithParam<FormRefusal> {};

TEST_P(ExamFormRefusal, MessageThenTheFormComesBack) {
  Harness h(book_of("成绩", small_grade()));
  h.expect_start().expect_options(GetParam().typed);
  h.ui.expect_message_containing(GetParam().parts.front());
  h.expect_options(Options{});
  h.ui.expect_message(kMsgDone);
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  const std::string text = h.ui.messages().at(1);
  for (const auto& part : GetParam().parts) EXPECT_NE(text.find(part), std::string::npos) << text;
  EXPECT_EQ(h.store->files.size(), 1u);
  EXPECT_EQ(h.store->files.count("/data/期中成绩分析.xlsx"), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ExamFormRefusal,
    ::testing::Values(FormRefusal{"Slash", with_name("期中/分析"), {"期中/分析", "字符"}},
                      FormRefusal{"Colon", with_name("C:报告"), {"字符"}},
                      FormRefusal{"Quote", with_name("a\"b"), {"字符"}},
                      FormRefusal{"Pipe", with_name("a|b"), {"字符"}},
                      FormRefusal{"Control", with_name("a\tb"), {"控制字符"}},
                      FormRefusal{"TrailingDot", with_name("报告."), {"结尾"}},
                      FormRefusal{"TrailingSpace", with_name("报告 "), {"结尾"}},
                      FormRefusal{"Device", with_name("con"), {"设备名"}},
                      FormRefusal{"DeviceWithExtension", with_name("LPT1.xlsx"), {"设备名"}},
                      FormRefusal{"DeviceCom9", with_name("Com9.txt"), {"设备名"}},
                      FormRefusal{"OwnFile", with_name("成绩.XLSX"), {"覆盖原文件"}},
                      FormRefusal{"OwnFileWithoutExtension", with_name("成绩"), {"覆盖原文件"}},
                      FormRefusal{"BandText", with_top("abc"), {"“年级前X、Y、Z名”的第1格", "abc"}},
                      FormRefusal{"BandNegative", with_top("3", "-1"), {"第2格", "-1"}},
                      FormRefusal{"BandFraction", with_bottom("2.5"), {"“年级后X、Y、Z名”的第3格", "2.5"}},
                      FormRefusal{"BandAboveSat", with_top("5"), {"第1格是5", "4人"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExamNames, BadNameReasons) {
  for (const char* ok : {"2001学年第二学期高一年级期中考试成绩分析", "console", "COM0", "LPT10", "a.b",
                         "报告.XLSX", "nul报告", " 前导空格"})
    EXPECT_EQ(ksfx_bad_name_reason(ok), "") << ok;
  for (const char* bad : {"a\\b", "a/b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b", "a\nb",
                          "a\x7f", "a\xc2\x85", "abc.", "abc ", ".xlsx", "abc .xlsx", "CON", "prn",
                          "Aux.txt", "NUL.xlsx", "com1", "LPT9.tar.gz"})
    EXPECT_NE(ksfx_bad_name_reason(bad), "") << bad;
}

TEST(ExamNames, SavePathIsBesideTheWorkbook) {
  struct Case {
    const char* book;
    const char* name;
    const char* path;
  };
  for (const Case& c : {Case{"/data/成绩.xlsx", "报告", "/data/报告.xlsx"},
                        Case{"/data/成绩.xlsx", "报告.XLSX", "/data/报告.XLSX"},
                        Case{"/data/成绩.xlsx", "报告.xls", "/data/报告.xls.xlsx"},
                        Case{"C:\\成绩\\高一.xls", "报告", "C:\\成绩\\报告.xlsx"},
                        Case{"", "报告", "报告.xlsx"},
                        Case{"成绩.xlsx", "报告", "报告.xlsx"}})
    EXPECT_EQ(ksfx_save_path(c.book, c.name), c.path) << c.book << " + " << c.name;
}

struct Refusal {
  const char* name;
  std::function<memory::WorkbookData()> book;
  std::vector<std::string> parts;
  Options typed = {};
};

memory::WorkbookData grade_with_sheet(const char* extra) {
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", small_grade());
  memory::add_sheet(book, extra, {{"旧"}});
  return book;
}
Rows small_with(int row, int col, Lit value) {
  Rows rows = small_grade();
  rows[row - 1][col - 1] = std::move(value);
  return rows;
}

class ExamRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ExamRefusal, OneBoxThenExitWithNothingChanged) {
  Harness h(GetParam().book());
  const std::string before = h.dump();
  h.expect_start().expect_options(GetParam().typed);
  h.ui.expect_message_containing(GetParam().parts.front());
  h.ui.expect_message(kMsgExit);
  EXPECT_EQ(h.run(), JobOutcome::Stopped);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  const auto& box = h.ui.shown().at(h.ui.shown().size() - 2);
  EXPECT_EQ(box.title, std::string(ui::kTitle));
  for (const auto& part : GetParam().parts) EXPECT_NE(box.text.find(part), std::string::npos) << box.text;
  expect_untouched(h, before);
}

INSTANTIATE_TEST_SUITE_P(
    Workbooks, ExamRefusal,
    ::testing::Values(
        Refusal{"AllSheetExists", [] { return grade_with_sheet("年级总人数"); }, {"“年级总人数”"}},
        Refusal{"SatSheetExists", [] { return grade_with_sheet("年级实考"); }, {"“年级实考”"}},
        Refusal{"AbsentSheetExists", [] { return grade_with_sheet("年级缺考"); }, {"“年级缺考”"}},
        Refusal{"BandSheetExists", [] { return grade_with_sheet("各班各名次段统计"); }, {"“各班各名次段统计”"}},
        Refusal{"AveragesSheetExists", [] { return grade_with_sheet("年级各科均分"); }, {"“年级各科均分”"}},
        Refusal{"CoverExists", [] { return grade_with_sheet("封面"); }, {"“封面”"}},
        Refusal{"ExtractExists", [] { return grade_with_sheet("年级前3名"); }, {"“年级前3名”"},
                with_top("2", "3")},
        Refusal{"RawDataIsAnotherSheet", [] { return grade_with_sheet("原始数据"); }, {"“原始数据”", "“成绩”"}},
        Refusal{"AbsentAsText", [] { return book_of("成绩", small_with(3, 4, "缺考")); },
                {"工作表“成绩”", "D3", "缺考"}},
        // A number stored as text looks like a number: the box says what it is.
        Refusal{"ScoreStoredAsText", [] { return book_of("成绩", small_with(5, 5, "66")); },
                {"工作表“成绩”的单元格 E5 是以文本存放的“66”，不是数字"}},
        Refusal{"ClassStoredAsText", [] { return book_of("成绩", small_with(2, 1, "101")); },
                {"单元格 A2 是以文本存放的“101”，不是数字，班级必须是数字"}},
        Refusal{"ClassAsText", [] { return book_of("成绩", small_with(4, 1, "一班")); },
                {"工作表“成绩”", "A4", "一班", "班级"}},
        Refusal{"ClassEmpty", [] { return book_of("成绩", small_with(6, 1, nullptr)); },
                {"工作表“成绩”", "A6", "班级"}},
        Refusal{"NoSubjects", [] { return book_of("名单", {{"班级", "学号", "姓名"}, {101, 1, "甲"}}); },
                {"工作表“名单”", "学科"}},
        Refusal{"NoStudents", [] { return book_of("空表", {{"班级", "学号", "姓名", "语文"}}); },
                {"工作表“空表”", "没有学生"}},
        // A run that would write past the sheet's last row: with one
        // student who sat and 524,284 absent, the absent ones' rows would
        // end two rows beyond it.
        Refusal{"AbsentListPastTheLastRow",
                [] {
                  Rows rows = {{"班级", "学号", "姓名", "语文"}, {101, 1, "甲", 90}};
                  rows.resize(524286, Rows::value_type{101});
                  return book_of("成绩", rows);
                },
                {"工作表“成绩”有524285名学生，分析要用到第1048578行，超过了工作表的1048576行"}},
        Refusal{"NobodySatEverything",
                [] { return book_of("成绩", {{"班级", "学号", "姓名", "语文"}, {101, 1, "甲", nullptr}}); },
                {"工作表“成绩”", "没有一名学生"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The data sheet is renamed 原始数据 before any result sheet is made, so its
// own name never clashes.
TEST(ExamRefusal, DataSheetNamedLikeAResultSheetIsFine) {
  for (const char* name : {"原始数据", "封面", "年级实考"}) {
    SCOPED_TRACE(name);
    Harness h(book_of(name, small_grade()));
    h.expect_done();
    EXPECT_EQ(h.run(), JobOutcome::Completed);
    EXPECT_TRUE(h.ui.finished()) << h.ui.report();
    EXPECT_NE(h.wb->find_sheet("封面"), nullptr);
  }
}

struct Fault {
  const char* op;
  int nth;
  const char* step;  // the box names it
};

class ExamFault : public ::testing::TestWithParam<Fault> {};

TEST_P(ExamFault, StopsWithoutWritingAnyFile) {
  Harness h(book_of("成绩", small_grade()));
  host::FaultInjectingApplication faulty(h.app);
  faulty.fail_on(GetParam().op, GetParam().nth);
  Options o;
  o.top = {"2", "", ""};
  o.bottom = {"1", "", ""};
  h.expect_start().expect_options(o);
  h.ui.expect_message_containing(GetParam().step);
  h.ui.expect_message(kMsgExit);
  EXPECT_EQ(h.run(faulty), JobOutcome::Stopped);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  EXPECT_EQ(faulty.failures(), 1);
  EXPECT_EQ(h.store->save_count, 0);
  EXPECT_TRUE(h.store->files.empty());
  EXPECT_TRUE(h.app.screen_updating());
  EXPECT_NE(h.ui.messages().at(1).find("出错"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ExamFault,
    ::testing::Values(Fault{"set_name", 1, "准备原始数据"}, Fault{"copy_sheet_after", 2, "分出实考和缺考学生"},
                      Fault{"delete_cells", 1, "分出实考和缺考学生"}, Fault{"sort", 4, "计算总分和名次"},
                      Fault{"sort", 6, "统计各班各名次段人数"}, Fault{"cut", 1, "各班各名次段统计"},
                      Fault{"sort", 8, "计算各班各科均分"}, Fault{"sort", 9, "年级前2名"},
                      Fault{"merge", 1, "加标题行"}, Fault{"set_number_format", 1, "均分"},
                      Fault{"replace_whole", 2, "格式"}, Fault{"add_page_break", 1, "分页"},
                      Fault{"insert_cells", 2, "标题行"}, Fault{"delete_sheet", 1, "附到"},
                      Fault{"set_characters_font", 2, "制作封面"},
                      Fault{"delete_sheet", 3, "删除工作表“年级总人数”"}),
    [](const auto& info) {
      return std::string(info.param.op) + "_" + std::to_string(info.param.nth);
    });

TEST(ExamSave, FailedSaveReportsWithoutEndMessage) {
  Harness h(book_of("成绩", small_grade()));
  h.store->fail = true;
  h.expect_start().expect_options(Options{});
  h.ui.expect_message_containing("保存工作簿失败：");
  EXPECT_EQ(h.run(), JobOutcome::SaveFailed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  EXPECT_TRUE(h.store->files.empty());
  EXPECT_TRUE(h.app.screen_updating());
}

TEST(ExamSave, DeclinedReplaceKeepsTheExistingFile) {
  Harness h(book_of("成绩", small_grade()));
  h.store->files["/data/期中成绩分析.xlsx"] = "旧报告";
  h.app.set_confirm_replace([](const std::string&) { return false; });
  h.expect_start().expect_options(Options{});
  h.ui.expect_message_containing("保存工作簿失败：");
  EXPECT_EQ(h.run(), JobOutcome::SaveFailed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  EXPECT_EQ(h.store->files["/data/期中成绩分析.xlsx"], "旧报告");
  EXPECT_EQ(h.store->files.count(kBookPath), 0u);
}

TEST(ExamSave, AcceptedReplaceOverwritesTheOldReport) {
  Harness h(book_of("成绩", small_grade()));
  h.store->files["/data/期中成绩分析.xlsx"] = "旧报告";
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_EQ(without_first_line(h.store->files["/data/期中成绩分析.xlsx"]), without_first_line(h.dump()));
}

TEST(ExamRestart, StoppedRunLeavesNothingForTheNext) {
  // The first run stops on a refused score after its bands were typed.
  Harness h(book_of("成绩", small_with(3, 4, "缺考")));
  h.expect_start().expect_options(with_top("2"));
  h.ui.expect_message_containing("D3").expect_message(kMsgExit);
  ASSERT_EQ(h.run(), JobOutcome::Stopped) << h.ui.report();

  // And a run that fails half way through.
  h.open(book_of("成绩", small_grade()));
  host::FaultInjectingApplication faulty(h.app);
  faulty.fail_on("cut", 2);
  h.expect_start().expect_options(with_bottom("3"));
  h.ui.expect_message_containing("出错").expect_message(kMsgExit);
  ASSERT_EQ(h.run(faulty), JobOutcome::Stopped) << h.ui.report();

  h.open(book_of("成绩", small_grade()));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  EXPECT_EQ(h.sheet_names(), (std::vector<std::string>{"原始数据", "封面", "年级各科均分", "年级实考"}));
  // Three classes, not the stopped runs' counts added up.
  expect_rows(h.sheet("年级各科均分"), 2, {{"班级", "人数", "语文", "数学", "总分"},
                                           {101, 1, 90, 80, 170},
                                           {102, 2, 72.5, 80.5, 153},
                                           {103, 1, 77, 88, 165},
                                           {"年级均分", kSmallSat, 78, 82.25, 160.25},
                                           {"年级缺考"}});
}

}  // namespace
}  // namespace lczs::examanalysis::testing
