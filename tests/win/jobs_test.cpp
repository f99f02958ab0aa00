// Each job run end to end over the IDispatch host, against the fake
// application that exposes the in-memory model through IDispatch, compared
// dump for dump with the same run straight on the in-memory host: the
// IDispatch layer must change nothing a job does.
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/clock.h"
#include "host/forwarding.h"
#include "model/memory_host.h"
#include "jobs/jobs.h"
#include "tests/win/books.h"
#include "tests/win/check.h"
#include "tests/win/fake_app.h"
#include "ui/scripted_ui.h"
#include "win/dispatch_host.h"

namespace lczs::wintest {

memory::WorkbookData class_book(int students) {
  using memory::Lit;
  std::vector<std::vector<Lit>> rows = {{"统一学号", "班级", "姓名", "性别", "语文", "数学", "英语", "总分"}};
  unsigned x = 11;
  for (int i = 0; i < students; ++i) {
    std::vector<Lit> row = {i + 1, nullptr, ("生" + std::to_string(i + 1)).c_str(), i % 3 == 0 ? "女" : "男"};
    double total = 0;
    for (int s = 0; s < 3; ++s) {
      x = x * 1103515245u + 12345u;
      double score = 50 + (x >> 16) % 500 / 10.0;
      row.push_back(score);
      total += score;
    }
    row.push_back(total);
    rows.push_back(row);
  }
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", rows);
  book.path = "/books/分班.xlsx";
  return book;
}

memory::WorkbookData exam_book(bool with_text_score, bool with_settings, bool reformed) {
  std::vector<std::vector<memory::Lit>> rows(1);
  rows[0] = {"班级", "学号", "姓名", "语文", "数学", "英语", "物理"};
  unsigned x = 7;
  for (int i = 0; i < 45; ++i) {
    std::vector<memory::Lit> row = {101 + i % 3, i / 3 + 1, ("生" + std::to_string(i + 1)).c_str()};
    for (int s = 0; s < 4; ++s) {
      x = x * 1103515245u + 12345u;
      row.push_back(static_cast<int>(60 + (x >> 16) % 8 * 5));
    }
    rows.push_back(std::move(row));
  }
  if (with_text_score) rows[9][4] = memory::Lit("缺");
  std::vector<std::vector<memory::Lit>> before = rows;
  if (reformed) {
    for (int i = 1; i <= 45; i += 4) rows[i][6] = memory::Lit(nullptr);
    for (int i = 1; i <= 45; ++i) before[i][3] = memory::Lit(70 + i % 9 * 3);
  }
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", rows);
  if (with_settings) memory::add_sheet(book, "分析设置", {{"科目", "满分", "优秀线"}, {"语文", 100, 90}});
  if (reformed) {
    memory::add_sheet(book, "分析设置", {{"科目", "满分", "类别", "赋分"}, {"英语", 100, "必考", "五级"}, {"物理", 100, "选考"}});
    memory::add_sheet(book, "分数线", {{"名称", "分数线", "δ"}, {"一线", "前10名", 8}, {"二线", 250}});
    memory::add_sheet(book, "上次成绩", before);
  }
  book.path = "/data/成绩.xlsx";
  return book;
}

namespace {

using memory::Lit;
using Rows = std::vector<std::vector<Lit>>;

struct JobCase {
  const char* what;
  std::function<memory::WorkbookData()> book;
  std::function<void(ui::ScriptedUi&)> script;
  std::function<jobs::JobOutcome(jobs::Jobs&, jobs::JobEnv&)> run;
  jobs::JobOutcome expected;
  bool saves_fail = false;
  // A host operation (named as in host/host.h) whose nth call fails.
  const char* fail_op = nullptr;
  int fail_nth = 0;
};

struct RunResult {
  jobs::JobOutcome outcome = jobs::JobOutcome::Unavailable;
  std::string dump;
  std::map<std::string, std::string> saved;
  std::vector<std::string> messages;
  std::vector<std::string> forms;
  std::string failure;  // a script violation or an escaped error
  bool finished = false;
  long dispatch_calls = 0;  // through IDispatch only
  std::vector<long> save_as_formats;  // through the fake application
};

// SaveAs calls seen through the fake application, over all cases.
int g_saves_as = 0;

RunResult run_case(const JobCase& c, bool through_com) {
  memory::MemoryApplication memory;
  auto store = std::make_shared<memory::MemoryStore>();
  store->fail = c.saves_fail;
  memory.set_store(store);
  memory.set_today(2026, 12, 7);
  memory::MemoryWorkbook& wb = memory.open(c.book());
  ui::ScriptedUi ui;
  c.script(ui);
  host::FakeClock clock(1.0);
  auto jobs = jobs::make_jobs();
  RunResult r;
  auto go = [&](host::Application& app) {
    jobs::JobEnv env{app, ui, clock};
    try {
      r.outcome = c.run(*jobs, env);
    } catch (const ui::ScriptViolation& v) {
      r.failure = v.what + "\n" + ui.report();
    } catch (const std::exception& e) {
      r.failure = e.what();
    }
  };
  host::FaultInjectingApplication faulty(memory);
  if (c.fail_op) faulty.fail_on(c.fail_op, c.fail_nth);
  host::Application& target = c.fail_op ? static_cast<host::Application&>(faulty) : memory;
  if (through_com) {
    IDispatch* fake = make_fake_application(target);
    {
      win::DispatchApplication app(fake);
      const long before = fake_dispatch_calls();
      go(app);
      r.dispatch_calls = fake_dispatch_calls() - before;
      r.save_as_formats = fake_save_as_formats();
      jobs.reset();  // the jobs' module state holds wrappers of the application
    }
    // The charts made through the application's objects joined the model
    // when it was saved, so the workbooks of both runs compare whole.
    for (const FakeChartRecord& made : fake_charts(fake))
      CHECK_MSG(made.legend && made.title_shown == !made.chart.title.empty() &&
                    made.axis_title_shown[0] == !made.chart.category_title.empty() &&
                    made.axis_title_shown[1] == !made.chart.value_title.empty(),
                made.chart.title + ": titles or legend not shown as made");
    fake->Release();
  } else {
    go(target);
  }
  r.dump = memory::dump(wb);
  r.saved = store->files;
  r.messages = ui.messages();
  r.forms = ui.forms();
  r.finished = ui.finished();
  return r;
}

// Messages that quote a host error carry the layer's own wording; the
// others must match exactly.
bool same_messages(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && a[i].find("失败") == std::string::npos) return false;
  return true;
}

void check_same(const JobCase& c) {
  std::cout << "  " << c.what << std::endl;
  RunResult direct = run_case(c, false);
  long before = fake_live_objects();
  RunResult com = run_case(c, true);
  CHECK_MSG(direct.failure.empty(), std::string(c.what) + " (memory host): " + direct.failure);
  CHECK_MSG(com.failure.empty(), std::string(c.what) + " (IDispatch host): " + com.failure);
  CHECK_MSG(direct.finished, c.what);
  CHECK_MSG(com.finished, c.what);
  CHECK_EQ(static_cast<int>(direct.outcome), static_cast<int>(c.expected));
  CHECK_EQ(static_cast<int>(com.outcome), static_cast<int>(direct.outcome));
  CHECK_MSG(com.dump == direct.dump, std::string(c.what) + ": the workbooks differ\n--- memory host\n" +
                                         direct.dump.substr(0, 3000) + "\n--- IDispatch host\n" +
                                         com.dump.substr(0, 3000));
  CHECK_MSG(com.saved == direct.saved, std::string(c.what) + ": saved files differ");
  CHECK_MSG(same_messages(com.messages, direct.messages), c.what);
  CHECK_MSG(com.forms == direct.forms, c.what);
  // A workbook saved under a new .xlsx name is written in that format,
  // whatever it was opened from.
  for (long format : com.save_as_formats) CHECK_EQ(format, 51L);
  g_saves_as += static_cast<int>(com.save_as_formats.size());
  // Every object the run asked for is released with the application.
  CHECK_EQ(fake_live_objects(), before);
}

// ---- class division ---------------------------------------------------------

const char* kFbConfirm = "开始分班，请先选中分班数据所在的工作表，继续吗？";

void fb_start(ui::ScriptedUi& ui, const std::string& classes, const std::string& minutes) {
  ui.expect_message(kFbConfirm, ui::kOk)
      .expect_form("gs", [](ui::FormDriver& f) { f.click("zx_bt"); })
      .expect_form("c_fbsz", [classes, minutes](ui::FormDriver& f) {
        f.set_text("c_fbs_txtbox", classes);
        if (!minutes.empty()) {
          f.choose("OptionButton2");
          f.set_text("c_fbsj_txtbox", minutes);
          f.set_text("c_gkcz_txtbox", "0.5");
        }
        f.click("CommandButton1");
      });
}

// ---- proficiency test -------------------------------------------------------

memory::WorkbookData proficiency_book(bool with_bad_grade = false, int students = 36) {
  Rows rows = {{"班级", "学号", "姓名", "语文", "数学", "物理"}};
  const char* letters[] = {"A", "B", "C", "D", "E", "B", "A", "C"};
  for (int i = 0; i < students; ++i)
    rows.push_back({101 + i % 3, i / 3 + 1, ("生" + std::to_string(i + 1)).c_str(), letters[i % 8],
                    letters[(i * 3) % 8], i % 11 == 0 ? Lit(nullptr) : Lit(letters[(i * 5) % 8])});
  memory::WorkbookData book;
  if (with_bad_grade) rows[6][4] = Lit("缺考");
  memory::add_sheet(book, "会考", rows);
  book.path = "/data/会考成绩.xlsx";
  return book;
}

// ---- exam analysis ----------------------------------------------------------

void exam_script(ui::ScriptedUi& ui, bool done, bool bands = true) {
  ui.expect_message("开始进行考试成绩分析，继续吗？", ui::kOk)
      .expect_form("ksgssz", [](ui::FormDriver& f) { f.click("ksfx_zx_bt"); })
      .expect_form("ksfxForm", [bands](ui::FormDriver& f) {
        f.set_text("txtstdjie", "2001").set_text("txtnj", "G1").set_text("txtfilename", "期中成绩分析");
        if (bands) f.set_text("nq1", "10").set_text("nq2", "20").set_text("nh1", "5");
        f.click("btnOk");
      });
  if (done) ui.expect_message("成绩分析完毕，程序结束!");
}

LCZS_TEST(jobs_leave_the_same_workbook_through_idispatch) {
  auto fb = [](jobs::Jobs& j, jobs::JobEnv& e) { return j.fb_run(e); };
  auto hk = [](jobs::Jobs& j, jobs::JobEnv& e) { return j.hkfx_run(e); };
  auto ks = [](jobs::Jobs& j, jobs::JobEnv& e) { return j.ksfx_run(e); };
  using jobs::JobOutcome;
  const JobCase cases[] = {
      {"class division, 3 classes, searched until the time limit",
       [] { return class_book(30); },
       [](ui::ScriptedUi& ui) {
         fb_start(ui, "3", "");
         ui.expect_message_containing("开始分班，需要几分钟时间").expect_message_containing("分班结束!");
       },
       fb, JobOutcome::Completed},
      {"class division of rows with comments and links: the scratch row is cleared alike",
       [] {
         memory::WorkbookData book = class_book(30);
         for (int r = 2; r <= 31; ++r) {
           memory::Comment note;
           note.text.push_back({"备注" + std::to_string(r), std::nullopt});
           book.sheets[0]->set_comment(r, 3, note);
           book.sheets[0]->set_hyperlink(r, 1, memory::Hyperlink{"https://example.com/" + std::to_string(r), "", "", ""});
         }
         return book;
       },
       [](ui::ScriptedUi& ui) {
         fb_start(ui, "3", "");
         ui.expect_message_containing("开始分班，需要几分钟时间").expect_message_containing("分班结束!");
       },
       fb, JobOutcome::Completed},
      {"class division, 4 classes, deal only",
       [] { return class_book(23); },
       [](ui::ScriptedUi& ui) {
         fb_start(ui, "4", "0");
         ui.expect_message_containing("开始分班，需要几分钟时间").expect_message_containing("分班结束!");
       },
       fb, JobOutcome::Completed},
      {"class division with a 分班条件 sheet, its box at the end",
       [] {
         memory::WorkbookData book = class_book(30);
         memory::add_sheet(book, "分班条件",
                           {{"条件", "学生", "值"}, {"指定班级", "生1", 2}, {"分开", "生2、生3", nullptr},
                            {"同班", "生4，生5", nullptr}});
         book.active_sheet = 0;
         return book;
       },
       [](ui::ScriptedUi& ui) {
         fb_start(ui, "3", "");
         ui.expect_message_containing("开始分班，需要几分钟时间")
             .expect_message("分班条件共 3 条，全部满足。")
             .expect_message_containing("分班结束!");
       },
       fb, JobOutcome::Completed},
      {"class division by elective combination: its sheet, 结果 and the box at the end",
       [] {
         memory::WorkbookData book = class_book(30);
         std::vector<std::vector<memory::Lit>> rows = {{"学生", "选科"}};
         for (int r = 2; r <= 31; ++r) rows.push_back({"第" + std::to_string(r) + "行", r <= 21 ? "物化生" : "历、政、地"});
         memory::add_sheet(book, "选科", rows);
         book.active_sheet = 0;
         return book;
       },
       [](ui::ScriptedUi& ui) {
         fb_start(ui, "3", "");
         ui.expect_message_containing("开始分班，需要几分钟时间")
             .expect_message("选科分班：30 名学生，3 个班（组合班 3 个、定二走一 0 个、定一走二 0 个），走班共 0 "
                             "科次，是所有可行方案中最少的。")
             .expect_message_containing("分班结束!");
       },
       fb, JobOutcome::Completed},
      {"class division declined",
       [] { return class_book(5); },
       [](ui::ScriptedUi& ui) {
         ui.expect_message(kFbConfirm, ui::kCancel).expect_message("现在退出分班程序，要分班请重新运行程序！");
       },
       fb, JobOutcome::Stopped},
      {"class division, the save fails",
       [] { return class_book(12); },
       [](ui::ScriptedUi& ui) {
         fb_start(ui, "2", "0");
         ui.expect_message_containing("开始分班，需要几分钟时间").expect_message_containing("保存工作簿失败：");
       },
       fb, JobOutcome::SaveFailed, true},
      {"class division, the sort fails",
       [] { return class_book(12); },
       [](ui::ScriptedUi& ui) {
         fb_start(ui, "2", "0");
         ui.expect_message_containing("开始分班，需要几分钟时间");
         ui.expect_message_containing("已停止，工作簿没有保存").expect_message("现在退出分班程序，要分班请重新运行程序！");
       },
       fb, JobOutcome::Stopped, false, "sort", 1},
      {"proficiency test",
       [] { return proficiency_book(); },
       [](ui::ScriptedUi& ui) {
         ui.expect_message("开始进行会考成绩分析，继续吗？", ui::kOk)
             .expect_form("hkgssz", [](ui::FormDriver& f) { f.click("hkfx_zx_bt"); })
             .expect_message("分析完成!");
       },
       hk, JobOutcome::Completed},
      {"proficiency test refuses a grade that is no letter",
       [] { return proficiency_book(true); },
       [](ui::ScriptedUi& ui) {
         ui.expect_message("开始进行会考成绩分析，继续吗？", ui::kOk)
             .expect_form("hkgssz", [](ui::FormDriver& f) { f.click("hkfx_zx_bt"); })
             .expect_message_containing("不是等级")
             .expect_message_containing("退出");
       },
       hk, JobOutcome::Stopped},
      {"exam analysis with top and bottom bands",
       [] { return exam_book(false); },
       [](ui::ScriptedUi& ui) { exam_script(ui, true); },
       ks, JobOutcome::Completed},
      {"exam analysis with the figures and their charts",
       [] { return exam_book(false, true); },
       [](ui::ScriptedUi& ui) { exam_script(ui, true); },
       ks, JobOutcome::Completed},
      {"exam analysis with electives, 等级赋分, score lines and 进退步",
       [] { return exam_book(false, false, true); },
       [](ui::ScriptedUi& ui) { exam_script(ui, true); },
       ks, JobOutcome::Completed},
      {"exam analysis refuses a score that is no number",
       [] { return exam_book(true); },
       [](ui::ScriptedUi& ui) {
         exam_script(ui, false);
         ui.expect_message_containing("“缺”").expect_message("现在退出成绩分析程序!");
       },
       ks, JobOutcome::Stopped},
  };
  for (const auto& c : cases) check_same(c);
  CHECK(g_saves_as > 0);
}

// One class division with a long search, through the IDispatch host. With
// LCZS_WIN_DUMP set, its workbook is written there: the test script holds
// the 32-bit DLL's division against the 64-bit one's.
LCZS_TEST(class_division_for_comparison_between_dlls) {
  JobCase c{"class division, 4 classes, searched for two minutes",
            [] { return class_book(64); },
            [](ui::ScriptedUi& ui) {
              fb_start(ui, "4", "2");
              ui.expect_message_containing("开始分班，需要几分钟时间").expect_message_containing("分班结束!");
            },
            [](jobs::Jobs& j, jobs::JobEnv& e) { return j.fb_run(e); }, jobs::JobOutcome::Completed};
  RunResult r = run_case(c, true);
  CHECK_MSG(r.failure.empty(), r.failure);
  CHECK_EQ(static_cast<int>(r.outcome), static_cast<int>(jobs::JobOutcome::Completed));
  if (const char* path = std::getenv("LCZS_WIN_DUMP")) {
    std::ofstream out(path, std::ios::binary);
    out << r.dump;
    CHECK(out.good());
  }
}

// A host failure inside a step reaches the job as the host's error, with
// the application's description, and the job's own handling takes over.
LCZS_TEST(host_failures_reach_the_jobs_through_idispatch) {
  using jobs::JobOutcome;
  auto ks = [](jobs::Jobs& j, jobs::JobEnv& e) { return j.ksfx_run(e); };
  auto hk = [](jobs::Jobs& j, jobs::JobEnv& e) { return j.hkfx_run(e); };
  const JobCase cases[] = {
      {"exam analysis, the second sheet copy fails",
       [] { return exam_book(false); },
       [](ui::ScriptedUi& ui) {
         exam_script(ui, false);
         ui.expect_message_containing("出错").expect_message("现在退出成绩分析程序!");
       },
       ks, JobOutcome::Stopped, false, "copy_sheet_after", 2},
      {"exam analysis, a merge fails",
       [] { return exam_book(false); },
       [](ui::ScriptedUi& ui) {
         exam_script(ui, false);
         ui.expect_message_containing("出错").expect_message("现在退出成绩分析程序!");
       },
       ks, JobOutcome::Stopped, false, "merge", 1},
      {"proficiency test, a paste fails",
       [] { return proficiency_book(); },
       [](ui::ScriptedUi& ui) {
         ui.expect_message("开始进行会考成绩分析，继续吗？", ui::kOk)
             .expect_form("hkgssz", [](ui::FormDriver& f) { f.click("hkfx_zx_bt"); })
             .expect_message_containing("失败")
             .expect_message_containing("退出");
       },
       hk, JobOutcome::Stopped, false, "paste", 1},
  };
  for (const auto& c : cases) check_same(c);
}

// Classes of `per_class` students, nine subjects.
memory::WorkbookData exam_grade(int classes, int per_class) {
  Rows rows(1);
  rows[0] = {"班级", "学号", "姓名", "语文", "数学", "英语", "物理", "化学", "生物", "政治", "历史", "地理"};
  unsigned x = 5;
  for (int c = 0; c < classes; ++c)
    for (int i = 0; i < per_class; ++i) {
      std::vector<Lit> row = {101 + c, i + 1, ("生" + std::to_string(i + 1)).c_str()};
      for (int s = 0; s < 9; ++s) {
        x = x * 1103515245u + 12345u;
        row.push_back(static_cast<int>(40 + (x >> 16) % 61));
      }
      rows.push_back(std::move(row));
    }
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", rows);
  book.path = "/data/成绩.xlsx";
  return book;
}

// Tables cross IDispatch a rectangle at a time: four times the students in
// the same classes cost the add-in no more calls. (The extracts' merged
// cells go per run of a class, which depends on the scores: no bands here.)
LCZS_TEST(exam_analysis_calls_do_not_grow_with_the_students) {
  auto calls = [](int per_class) {
    JobCase c{"exam analysis", [per_class] { return exam_grade(6, per_class); },
              [](ui::ScriptedUi& ui) { exam_script(ui, true, false); },
              [](jobs::Jobs& j, jobs::JobEnv& e) { return j.ksfx_run(e); }, jobs::JobOutcome::Completed};
    RunResult r = run_case(c, true);
    CHECK_MSG(r.failure.empty(), r.failure);
    CHECK_EQ(static_cast<int>(r.outcome), static_cast<int>(jobs::JobOutcome::Completed));
    return r.dispatch_calls;
  };
  const long small = calls(25), large = calls(100);
  std::cout << "  IDispatch calls: " << small << " for 150 students, " << large << " for 600" << std::endl;
  CHECK_EQ(large, small);
}

// Past the 16-bit row numbers of old and past the breaks a sheet holds:
// each job on 40,000 students, and an exam with more classes than page
// breaks, whose run must stop adding them where the application would
// start failing, as the in-memory host's run does.
LCZS_TEST(large_grades_through_idispatch) {
  constexpr int kPastShortRows = 40000;
  using jobs::JobOutcome;
  const JobCase cases[] = {
      {"class division of 40,000 students, deal only",
       [] { return class_book(kPastShortRows); },
       [](ui::ScriptedUi& ui) {
         fb_start(ui, "4", "0");
         ui.expect_message_containing("开始分班，需要几分钟时间").expect_message_containing("分班结束!");
       },
       [](jobs::Jobs& j, jobs::JobEnv& e) { return j.fb_run(e); }, JobOutcome::Completed},
      {"proficiency test of 40,000 students",
       [] { return proficiency_book(false, kPastShortRows); },
       [](ui::ScriptedUi& ui) {
         ui.expect_message("开始进行会考成绩分析，继续吗？", ui::kOk)
             .expect_form("hkgssz", [](ui::FormDriver& f) { f.click("hkfx_zx_bt"); })
             .expect_message("分析完成!");
       },
       [](jobs::Jobs& j, jobs::JobEnv& e) { return j.hkfx_run(e); }, JobOutcome::Completed},
      {"exam analysis of 40,000 students with bands",
       [] { return exam_grade(4, kPastShortRows / 4); },
       [](ui::ScriptedUi& ui) { exam_script(ui, true); },
       [](jobs::Jobs& j, jobs::JobEnv& e) { return j.ksfx_run(e); }, JobOutcome::Completed},
      {"exam analysis of more classes than page breaks",
       [] { return exam_grade(host::kMaxPageBreaks + 2, 1); },
       [](ui::ScriptedUi& ui) { exam_script(ui, true, false); },
       [](jobs::Jobs& j, jobs::JobEnv& e) { return j.ksfx_run(e); }, JobOutcome::Completed},
  };
  for (const auto& c : cases) check_same(c);
}

}  // namespace
}  // namespace lczs::wintest
