// Whole runs of the class division on workbooks built here, through the
// scripted dialogs, checked cell by cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <regex>

#include "classdiv/fb_main.h"
#include "host/forwarding.h"
#include "tests/classdiv/harness.h"

namespace lczs::classdiv {
namespace {

using namespace testing;
using memory::MemoryWorksheet;

// Boy n (from 0) scores 100 - n, girl n 80 - n, in one subject; the rows come
// in reverse order, girls and boys alternating, so both sorts have work.
std::vector<Student> ranked_students(int boys, int girls) {
  std::vector<Student> b, g, s;
  for (int n = boys - 1; n >= 0; --n) b.push_back({"男" + std::to_string(n + 1), "男", {100.0 - n}});
  for (int n = girls - 1; n >= 0; --n) g.push_back({"女" + std::to_string(n + 1), "女", {80.0 - n}});
  for (std::size_t n = 0; n < std::max(b.size(), g.size()); ++n) {
    if (n < g.size()) s.push_back(g[n]);
    if (n < b.size()) s.push_back(b[n]);
  }
  return s;
}

struct DealCase {
  const char* what;
  int boys, girls, classes;
  std::vector<int> deal;  // classes of the boys by score, then of the girls
};

// The deal without a search (time limit 0), from the form to the saved file.
TEST(Run, DealsWithoutSearchGiveTheDocumentedLayout) {
  const DealCase cases[] = {
      {"6 boys 4 girls", 6, 4, 3, {1, 2, 3, 3, 2, 1, 3, 2, 1, 1}},
      {"4 boys 5 girls", 4, 5, 3, {1, 2, 3, 3, 3, 2, 1, 2, 1}},
      {"4 boys 2 girls", 4, 2, 3, {1, 2, 3, 3, 2, 1}},
      {"no boys", 0, 5, 3, {3, 2, 1, 1, 2}},
      {"no girls", 5, 0, 3, {1, 2, 3, 3, 2}},
      {"two classes", 3, 2, 2, {1, 2, 2, 2, 1}},
      {"a class of one", 1, 2, 3, {1, 2, 3}},
      // 100 + 97 and 99 + 98: equal averages, both extremes name class 1.
      {"equal averages", 4, 0, 2, {1, 2, 2, 1}},
  };
  for (const DealCase& c : cases) {
    SCOPED_TRACE(c.what);
    // A sheet in front of the data sheet: the run moves the data to the front.
    auto book = make_book({"语文"}, ranked_students(c.boys, c.girls));
    memory::WorkbookData other;
    memory::add_sheet(other, "说明", {{"分班说明"}});
    book.sheets.insert(book.sheets.begin(), std::move(other.sheets[0]));
    book.active_sheet = 1;
    Harness hh(std::move(book));
    script_start(hh.ui, {std::to_string(c.classes), "0", ""});
    hh.ui.expect_message(kWait).expect_message("程序共执行了2秒，分班结束!");
    ASSERT_EQ(hh.run(), jobs::JobOutcome::Completed) << hh.ui.report();
    EXPECT_TRUE(hh.ui.finished()) << hh.ui.report();
    EXPECT_EQ(hh.store->save_count, 1);
    EXPECT_EQ(hh.job.state().fb_cycles, 0);

    MemoryWorksheet& ws = hh.sheet(1);
    ASSERT_EQ(ws.name(), "成绩");
    EXPECT_EQ(hh.wb->active_sheet().name(), "成绩");
    EXPECT_EQ(ws.selection(), host::Area::cell(1, 1));
    EXPECT_TRUE(hh.app.screen_updating());
    EXPECT_FALSE(hh.app.copy_mode());
    EXPECT_EQ(hh.wb->sheet_count(), 2);

    const int N = c.boys + c.girls, K = c.classes, S = N + 9;
    // Expected rows: per class its boys, then its girls, each by score.
    int row = 2;
    std::vector<int> first_row(K + 2), size(K + 1), boys(K + 1);
    std::vector<double> sum(K + 1);
    for (int k = 1; k <= K; ++k) {
      first_row[k] = row;
      for (int n = 0; n < N; ++n) {
        if (c.deal[n] != k) continue;
        const bool boy = n < c.boys;
        const int idx = boy ? n : n - c.boys;
        const double score = boy ? 100 - idx : 80 - idx;
        EXPECT_EQ(hh.cell(row, 2), std::to_string(k)) << "row " << row;
        EXPECT_EQ(hh.cell(row, 3), (boy ? "男" : "女") + std::to_string(idx + 1)) << "row " << row;
        EXPECT_EQ(ws.value(row, 5).as_number(), score);
        EXPECT_EQ(ws.value(row, 6).as_number(), score);
        EXPECT_TRUE(ws.value(row, 7).is_empty()) << "record numbers are cleared";
        ++size[k];
        boys[k] += boy;
        sum[k] += score;
        ++row;
      }
    }
    ASSERT_EQ(row, N + 2);
    EXPECT_TRUE(ws.value(1, 7).is_empty());
    for (int r = N + 2; r < S; ++r)
      for (int x = 1; x <= 7; ++x) EXPECT_TRUE(ws.value(r, x).is_empty()) << r << "," << x;

    // The statistics block.
    const std::vector<std::string> head = {"班人数", "男生", "女生", "班级", "语文", "总分"};
    for (int x = 1; x <= 6; ++x) EXPECT_EQ(hh.cell(S, x), head[x - 1]);
    double hi = -1, lo = 1e9;
    int hic = 0, loc = 0;
    for (int k = 1; k <= K; ++k) {
      EXPECT_EQ(ws.value(S + k, 1).as_number(), size[k]);
      EXPECT_EQ(ws.value(S + k, 2).as_number(), boys[k]);
      EXPECT_EQ(ws.value(S + k, 3).as_number(), size[k] - boys[k]);
      EXPECT_EQ(ws.value(S + k, 4).as_number(), k);
      const int last = first_row[k] + size[k] - 1;
      const std::string range = size[k] == 1 ? "$E$" + std::to_string(last)
                                             : "$E$" + std::to_string(first_row[k]) + ":$E$" +
                                                   std::to_string(last);
      EXPECT_EQ(ws.formula(S + k, 5), "=AVERAGEA(" + range + ")");
      const double avg = sum[k] / size[k];
      EXPECT_DOUBLE_EQ(ws.value(S + k, 5).as_number(), avg);
      EXPECT_DOUBLE_EQ(ws.value(S + k, 6).as_number(), avg);
      if (avg > hi) { hi = avg; hic = k; }
      if (avg < lo) { lo = avg; loc = k; }
    }
    EXPECT_EQ(hh.cell(S + K + 1, 4), "年级");
    EXPECT_EQ(ws.value(S + K + 1, 1).as_number(), N);
    EXPECT_EQ(ws.value(S + K + 1, 2).as_number(), c.boys);
    EXPECT_EQ(ws.value(S + K + 1, 3).as_number(), c.girls);
    EXPECT_EQ(hh.cell(S + K + 2, 3), "总平均分");
    EXPECT_EQ(ws.formula(S + K + 2, 6), "=AVERAGEA($F$2:$F$" + std::to_string(N + 1) + ")");
    EXPECT_EQ(hh.cell(S + K + 3, 3), "最高平均分的班");
    EXPECT_EQ(hh.cell(S + K + 4, 3), "最低平均分的班");
    EXPECT_EQ(hh.cell(S + K + 5, 3), "平均分两最之差");
    for (int x = 5; x <= 6; ++x) {
      EXPECT_EQ(ws.value(S + K + 3, x).as_number(), hic);
      EXPECT_EQ(ws.value(S + K + 4, x).as_number(), loc);
      EXPECT_DOUBLE_EQ(ws.value(S + K + 5, x).as_number(), hi - lo);
    }
    std::vector<int> breaks(first_row.begin() + 2, first_row.begin() + K + 1);
    EXPECT_EQ(ws.page_breaks(), breaks);
    EXPECT_EQ(ws.format(1, 1).font.size, 10);
    EXPECT_EQ(ws.format(S + 1, 5).font.size, 10);
    EXPECT_EQ(ws.format(500, 30).font.size, 10);
  }
}

// The class numbers take the place of the empty cells of column B and keep
// what the teacher gave them, as every other column of the table does.
TEST(Run, ClassNumbersKeepTheColumnsFormat) {
  Harness h(make_book({"语文"}, ranked_students(3, 3)));
  MemoryWorksheet& ws = h.sheet(1);
  const host::Area table{1, 1, 7, 6};
  ws.set_font(table, {.name = "宋体", .size = 12});
  ws.set_border(table, host::BorderIndex::InsideHorizontal,
                {.style = host::LineStyle::Continuous, .weight = host::BorderWeight::Thin});
  ws.set_number_format(host::Area{2, 2, 7, 2}, "0\\班");
  script_start(h.ui, {"2", "0", ""});
  h.ui.expect_message(kWait).expect_message("程序共执行了2秒，分班结束!");
  ASSERT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
  for (int r = 2; r <= 7; ++r) {
    SCOPED_TRACE(r);
    EXPECT_FALSE(ws.value(r, 2).is_empty());
    EXPECT_EQ(ws.format(r, 2).font.name, "宋体");
    EXPECT_EQ(ws.format(r, 2).font.size, 10);
    EXPECT_EQ(ws.format(r, 2).borders.top.style, host::LineStyle::Continuous);
    EXPECT_EQ(ws.format(r, 2).number_format, "0\\班");
    EXPECT_EQ(ws.format(r, 2).borders, ws.format(r, 3).borders);
  }
}

// A grade past row 32,767: 20,000 boys and 20,000 girls into two classes.
// Scores fall by one down each gender, so the deal's pairs (1 2 2 1 for the
// boys, 2 1 1 2 for the girls) leave both classes on the same average.
TEST(Run, GradePastRow32767) {
  const int half = 20000, N = 2 * half, S = N + 9;
  std::vector<Student> students;
  for (int n = 0; n < half; ++n) {
    students.push_back({"男" + std::to_string(n + 1), "男", {50000.0 - n}});
    students.push_back({"女" + std::to_string(n + 1), "女", {30000.0 - n}});
  }
  Harness h(make_book({"语文"}, students));
  h.store->keep_dumps = false;
  script_start(h.ui, {"2", "0", ""});
  h.ui.expect_message(kWait).expect_message_containing("分班结束!");
  ASSERT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();

  MemoryWorksheet& ws = h.sheet(1);
  const host::ValueGrid rows = ws.values(host::Area{2, 2, N + 1, 5});
  int row = 0;
  for (int k = 1; k <= 2; ++k)
    for (const bool boy : {true, false})
      for (int n = 0; n < half; ++n) {
        // Boys n % 4 in {0, 3} and girls n % 4 in {1, 2} make class 1.
        const bool pair_end = n % 4 == 0 || n % 4 == 3;
        if ((pair_end == boy) != (k == 1)) continue;
        SCOPED_TRACE("row " + std::to_string(row + 2));
        EXPECT_EQ(rows.at(row, 0).as_number(), k);
        EXPECT_EQ(rows.at(row, 1).as_text(), (boy ? "男" : "女") + std::to_string(n + 1));
        EXPECT_EQ(rows.at(row, 3).as_number(), (boy ? 50000.0 : 30000.0) - n);
        ++row;
      }
  ASSERT_EQ(row, N);
  EXPECT_EQ(ws.page_breaks(), (std::vector<int>{half + 2}));

  EXPECT_EQ(h.cell(S, 1), "班人数");
  for (int k = 1; k <= 2; ++k) {
    for (int x = 1; x <= 4; ++x)
      EXPECT_EQ(ws.value(S + k, x).as_number(), (std::vector<double>{half, half / 2.0, half / 2.0, 1.0 * k})[x - 1]);
    EXPECT_EQ(ws.formula(S + k, 5), "=AVERAGEA($E$" + std::to_string(2 + (k - 1) * half) + ":$E$" +
                                        std::to_string(1 + k * half) + ")");
    EXPECT_EQ(ws.value(S + k, 5).as_number(), 30000.5);
  }
  EXPECT_EQ(ws.value(S + 3, 1).as_number(), N);
  EXPECT_EQ(h.cell(S + 3, 4), "年级");
  EXPECT_EQ(ws.value(S + 4, 5).as_number(), 30000.5);
  EXPECT_EQ(ws.value(S + 7, 5).as_number(), 0);
}

// Equal totals inside a gender: both sorts of the input step and the sorts of
// the write-back keep the students in the order they came in.
TEST(Run, EqualTotalsKeepTheirInputOrder) {
  // Boys and girls interleaved; every boy has 90, every girl 80, so the deal
  // goes by input order: boys 甲乙丙丁戊 get 1 2 2 1 1, girls 子丑 2 1 and
  // the last girl 寅, continuing the boys' pass, 2.
  Harness h(make_book({"语文"}, {{"甲", "男", {90}}, {"子", "女", {80}}, {"乙", "男", {90}},
                                 {"丑", "女", {80}}, {"丙", "男", {90}}, {"丁", "男", {90}},
                                 {"寅", "女", {80}}, {"戊", "男", {90}}}));
  script_start(h.ui, {"2", "0", ""});
  h.ui.expect_message(kWait).expect_message_containing("分班结束!");
  ASSERT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
  const char* names[] = {"甲", "丁", "戊", "丑", "乙", "丙", "子", "寅"};
  const char* ids[] = {"1", "6", "8", "4", "3", "5", "2", "7"};
  const int classes[] = {1, 1, 1, 1, 2, 2, 2, 2};
  for (int r = 2; r <= 9; ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(h.cell(r, 3), names[r - 2]);
    EXPECT_EQ(h.cell(r, 1), ids[r - 2]);
    EXPECT_EQ(h.sheet(1).value(r, 2).as_number(), classes[r - 2]);
  }
}

// The worked example of the search, on a sheet laid out as the input step
// leaves it: class 1 in rows 2-3 (90, 70), class 2 in rows 4-5 (60, 50).
TEST(Run, SearchWorkedExampleExchangesRowsTwoAndFour) {
  Harness h(make_book({"语文"}, {{"甲", "男", {90}}, {"乙", "男", {70}}, {"丙", "男", {60}},
                                 {"丁", "男", {50}}}));
  FbState& st = h.job.state();
  st.work_book = h.wb;
  st.work_sheet = &h.wb->sheet(1);
  st.fb_class_count = 2;
  st.fb_student_count = 4;
  st.fb_score_cols = 2;
  st.fb_boy_count = 4;
  st.fb_time_limit = 2;  // the clock steps 1 s: exactly one cycle
  st.fb_whole_search = false;
  st.fb_class_rows = {{}, {0, 2, 3, 4, 3}, {0, 4, 5, 6, 5}};
  st.fb_class_sizes = {{}, {0, 2, 2, 0}, {0, 2, 2, 0}};
  st.fb_record_no = {0, 0, 1, 2, 3, 4};
  MemoryWorksheet& ws = h.sheet(1);
  ws.set_value(1, 7, host::Value::text("记录号"));
  for (int r = 2; r <= 5; ++r) {
    ws.set_value(r, 2, host::Value::number(r < 4 ? 1 : 2));
    ws.set_value(r, 7, host::Value::number(r - 1));
  }
  jobs::JobEnv env{h.app, h.ui, h.clock};
  fb_build_stats(env, st);
  EXPECT_EQ(ws.value(20, 5).as_number(), 25);  // spread row before the search
  fb_balance_classes(env, st);

  EXPECT_EQ(st.fb_exchanges, (std::vector<std::pair<int, int>>{{2, 4}}));
  EXPECT_EQ(st.fb_best_gain, 20.0f);
  EXPECT_EQ(st.fb_max_spread, 5.0f);
  const char* names[] = {"乙", "丙", "甲", "丁"};  // class 1: 70, 60; class 2: 90, 50
  const int classes[] = {1, 1, 2, 2};
  for (int r = 2; r <= 5; ++r) {
    EXPECT_EQ(h.cell(r, 3), names[r - 2]);
    EXPECT_EQ(ws.value(r, 2).as_number(), classes[r - 2]);
    EXPECT_TRUE(ws.value(r, 7).is_empty());
  }
  EXPECT_EQ(ws.value(14, 5).as_number(), 65);
  EXPECT_EQ(ws.value(15, 5).as_number(), 70);
  EXPECT_EQ(ws.value(18, 5).as_number(), 2);  // highest: class 2
  EXPECT_EQ(ws.value(19, 5).as_number(), 1);
  EXPECT_EQ(ws.value(20, 5).as_number(), 5);
  EXPECT_EQ(h.wb->sheet_count(), 1);  // the scratch sheet is gone
  EXPECT_EQ(h.app.display_alerts(), false);
}

// Comments and hyperlinks on the students' rows travel with their students
// through every exchange, and the scratch row the exchanges pass through
// keeps none; every value, format and exchange is what the same run makes
// on a book without them.
TEST(Run, CommentsAndLinksStayWithTheirStudents) {
  const int N = 24;
  const auto students = random_students(11, N, 2, 10);
  memory::WorkbookData book = make_book({"语文", "数学"}, students);
  for (int r = 2; r <= N + 1; ++r) {
    const std::string& name = students[static_cast<std::size_t>(r - 2)].name;
    memory::Comment note;
    note.author = "班主任";
    note.text.push_back({name, std::nullopt});
    book.sheets[0]->set_comment(r, 3, note);
    book.sheets[0]->set_hyperlink(r, 1, memory::Hyperlink{"https://example.com/" + name, "", "", name});
  }
  Harness plain(make_book({"语文", "数学"}, students)), h(std::move(book));
  for (Harness* run : {&plain, &h}) {
    script_start(run->ui, {"3", "0.1", ""});
    run->ui.expect_message(kWait).expect_message_containing("程序共执行了");
    ASSERT_EQ(run->run(), jobs::JobOutcome::Completed) << run->ui.report();
  }
  ASSERT_GT(h.job.state().fb_cycles, 1);
  EXPECT_EQ(h.job.state().fb_exchanges, plain.job.state().fb_exchanges);
  const std::regex attachment(R"( \| (comment|link) [^\n]*)");
  EXPECT_EQ(std::regex_replace(h.store->files.begin()->second, attachment, ""),
            plain.store->files.begin()->second);

  int notes = 0, links = 0;
  h.sheet(1).data().for_each([&](int r, int c, const memory::Cell& cell) {
    const std::string name = h.cell(r, 3);
    if (const memory::Comment* n = cell.attached.comment()) {
      ++notes;
      EXPECT_EQ(c, 3);
      EXPECT_EQ(n->plain_text(), name) << "row " << r;
    }
    if (const memory::Hyperlink* l = cell.attached.hyperlink()) {
      ++links;
      EXPECT_EQ(c, 1);
      EXPECT_EQ(l->display, name) << "row " << r;
    }
  });
  EXPECT_EQ(notes, N);
  EXPECT_EQ(links, N);
}

// Four boys in two classes: class 1 gets 100 and 95 (97.5), class 2 99 and
// 98 (98.5), a spread of exactly 1.
std::vector<Student> spread_of_one() {
  return {{"甲", "男", {100}}, {"乙", "男", {99}}, {"丙", "男", {98}}, {"丁", "男", {95}}};
}

TEST(Run, SpreadEqualToTheAllowedDifferenceIsAccepted) {
  Harness h(make_book({"语文"}, spread_of_one()));
  script_start(h.ui, {"2"});
  h.ui.expect_message(kWait).expect_message("程序共执行了2秒，分班结束!");
  ASSERT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
  EXPECT_EQ(h.job.state().fb_cycles, 0);
  EXPECT_EQ(h.sheet(1).value(20, 5).as_number(), 1);

  // A smaller allowed difference starts the search.
  Harness g(make_book({"语文"}, spread_of_one()), 1.0);
  script_start(g.ui, {"2", "1", "0.99"});
  g.ui.expect_message(kWait).expect_message_containing("程序共执行了");
  ASSERT_EQ(g.run(), jobs::JobOutcome::Completed) << g.ui.report();
  EXPECT_GT(g.job.state().fb_cycles, 0);
}

// One boy in class 1, one girl in class 2: no pair of the same gender, so
// the search ends at its first cycle and the classes stay as dealt.
TEST(Run, NoSameGenderPairEndsTheSearch) {
  Harness h(make_book({"语文"}, {{"甲", "男", {100}}, {"乙", "女", {80}}}));
  script_start(h.ui, {"2"});
  h.ui.expect_message(kWait).expect_message("程序共执行了2秒，分班结束!");
  ASSERT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
  EXPECT_TRUE(h.job.state().fb_exchanges.empty());
  EXPECT_EQ(h.cell(2, 3), "甲");
  EXPECT_EQ(h.cell(3, 3), "乙");
  EXPECT_EQ(h.sheet(1).value(3, 2).as_number(), 2);
  EXPECT_EQ(h.sheet(1).value(11 + 2 + 5, 5).as_number(), 20);  // spread row
  EXPECT_EQ(h.ui.lines.size(), 1u);  // the one cycle begun
  EXPECT_EQ(h.ui.done, 1);
}

TEST(Run, EndMessageReportsTheSearchTime) {
  const std::pair<double, const char*> cases[] = {
      {30, "程序共执行了1分0秒，分班结束!"},  // three readings: start, test, end
      {29.7, "程序共执行了59秒，分班结束!"},
      {37.5, "程序共执行了1分15秒，分班结束!"},
  };
  for (auto [step, want] : cases) {
    Harness h(make_book({"语文"}, spread_of_one()), step);
    script_start(h.ui, {"2"});
    h.ui.expect_message(kWait).expect_message(want);
    EXPECT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
  }
}

// A search that runs its time out.
TEST(Run, SearchRunsUntilTheTimeLimitWithPacedProgress) {
  Harness h(make_book({"语文", "数学", "英语"}, random_students(7, 48, 3, 20)), 0.0625);
  script_start(h.ui, {"4", "0.05", "-1"});  // three seconds, never satisfied
  h.ui.expect_message(kWait).expect_message_containing("程序共执行了");
  ASSERT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
  const FbState& st = h.job.state();
  // Readings 1/16 s apart below 3 s: 47 cycles.
  EXPECT_EQ(st.fb_cycles, 47);
  EXPECT_EQ(st.fb_exchanges.size(), 47u);
  // A line at most every 0.1 s: every second cycle.
  EXPECT_EQ(h.ui.lines.size(), 24u);
  EXPECT_EQ(h.ui.done, 1);
  EXPECT_NE(h.ui.lines[0].find("分班调整中"), std::string::npos);

  // The students of each class, its boys and its girls, counted in column B,
  // agree with the block; every class keeps its size.
  MemoryWorksheet& ws = h.sheet(1);
  const int N = 48, K = 4, S = N + 9;
  for (int k = 1; k <= K; ++k) {
    int n = 0, b = 0;
    for (int r = 2; r <= N + 1; ++r)
      if (ws.value(r, 2).as_number() == k) {
        ++n;
        b += ws.value(r, 4).as_text() == "男";
      }
    EXPECT_EQ(ws.value(S + k, 1).as_number(), n);
    EXPECT_EQ(ws.value(S + k, 2).as_number(), b);
    EXPECT_EQ(ws.value(S + k, 3).as_number(), n - b);
    EXPECT_EQ(n, 12);
  }
}

TEST(Run, DeclinedRunsLeaveTheWorkbookUntouched) {
  struct Case {
    const char* what;
    std::function<void(ui::ScriptedUi&)> script;
  };
  const Case cases[] = {
      {"cancel", [](ui::ScriptedUi& ui) { ui.expect_message(kConfirm, ui::kCancel); }},
      {"format adjustment",
       [](ui::ScriptedUi& ui) {
         ui.expect_message(kConfirm).expect_form("gs", [](ui::FormDriver& f) { f.click("gstz_bt"); });
       }},
      {"settings cancelled",
       [](ui::ScriptedUi& ui) {
         ui.expect_message(kConfirm)
             .expect_form("gs", [](ui::FormDriver& f) { f.click("zx_bt"); })
             .expect_form("c_fbsz", [](ui::FormDriver& f) { f.click("CommandButton2"); });
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h(make_book({"语文"}, ranked_students(3, 3)));
    const std::string before = memory::dump(h.wb->data());
    c.script(h.ui);
    h.ui.expect_message(kExit);
    EXPECT_EQ(h.run(), jobs::JobOutcome::Stopped);
    EXPECT_TRUE(h.ui.finished()) << h.ui.report();
    EXPECT_EQ(memory::dump(h.wb->data()), before);
    EXPECT_EQ(h.store->save_count, 0);
  }
}

TEST(Run, RefusedDataSavesNothingAndChangesNoCell) {
  struct Case {
    const char* what;
    std::function<void(memory::WorkbookData&)> edit;
    std::string classes;
    std::string message;  // contained in the refusal
    bool waits = true;    // the refusal comes after the "please wait" box
  };
  auto set = [](int r, int c, host::Value v) {
    return [=](memory::WorkbookData& b) { b.sheets[0]->at(r, c).value = v; };
  };
  using host::Value;
  const Case cases[] = {
      {"blank", set(3, 5, Value()), "2",
       "有空白单元格（缺考），处理后进行分班！\n第一处：工作表“成绩”的单元格 E3。"},
      {"blank and zero",
       [](memory::WorkbookData& b) {
         b.sheets[0]->at(3, 6).value = Value::number(0);
         b.sheets[0]->erase(4, 5);
       },
       "2", "有空白单元格（缺考），处理后进行分班！\n第一处：工作表“成绩”的单元格 E4。"},
      {"zero total", set(5, 6, Value::number(0)), "2",
       "有单元格为0，处理后进行分班！\n第一处：工作表“成绩”的单元格 F5。"},
      {"absent as text", set(4, 5, Value::text("缺考")), "2",
       "工作表“成绩”的单元格 E4 不是数字（“缺考”），请处理后再运行。"},
      {"number stored as text", set(6, 6, Value::text("88")), "2", "单元格 F6 不是数字（“88”）"},
      {"gender", set(5, 4, Value::text("M")), "2",
       "工作表“成绩”第 5 行的性别（单元格 D5）是“M”，只能是“男”或“女”，请处理后再运行。"},
      {"gender after the score checks", [](memory::WorkbookData& b) {
         b.sheets[0]->at(5, 4).value = Value::text("M");
         b.sheets[0]->at(6, 5).value = Value::number(0);
       }, "2", "有单元格为0，处理后进行分班！"},
      {"more classes than students", {}, "7", "只有 6 名学生（第 2 行至第 7 行），少于分班数 7"},
      {"no students",
       [](memory::WorkbookData& b) {
         for (int r = 2; r <= 7; ++r)
           for (int c = 1; c <= 6; ++c) b.sheets[0]->erase(r, c);
       },
       "2", "工作表“成绩”第 1 行的表头下面没有学生，无法分班。"},
      {"statistics block past the sheet's last row",
       [](memory::WorkbookData& b) {
         for (int r = 8; r <= host::kMaxRows - 32767 - 12; ++r) b.sheets[0]->at(r, 1).value = Value::number(r);
       },
       "32767", "有 1015796 名学生，分 32767 个班时统计表要用到第 1048577 行，超过了工作表 1048576 行的上限", false},
      {"no score columns",
       [](memory::WorkbookData& b) {
         for (int r = 1; r <= 7; ++r)
           for (int c = 5; c <= 6; ++c) b.sheets[0]->erase(r, c);
       },
       "2", "不足 5 列", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto book = make_book({"语文"}, ranked_students(3, 3));
    if (c.edit) c.edit(book);
    Harness h(std::move(book));
    const std::string before = memory::dump_sheet(h.wb->data(), h.sheet(1).data());
    script_start(h.ui, {c.classes});
    if (c.waits) h.ui.expect_message(kWait);
    h.ui.expect_message_containing(c.message).expect_message(kExit);
    EXPECT_EQ(h.run(), jobs::JobOutcome::Stopped);
    EXPECT_TRUE(h.ui.finished()) << h.ui.report();
    EXPECT_EQ(h.ui.shown().back().title, "栎川提示");
    EXPECT_EQ(memory::dump_sheet(h.wb->data(), h.sheet(1).data()), before);
    EXPECT_EQ(h.store->save_count, 0);
    EXPECT_TRUE(h.app.screen_updating());
  }
}

// Deleting a sheet through the library's forwarding workbook reads the
// deleted sheet while forgetting its wrapper; this one forgets nothing, which
// is harmless for one run.
class SafeDeleteWorkbook : public host::ForwardingWorkbook {
 public:
  using ForwardingWorkbook::ForwardingWorkbook;
  void delete_sheet(host::Worksheet& s) override {
    on_call("delete_sheet");
    target().delete_sheet(host::unwrap(s));
  }
};

class FaultyHost : public host::FaultInjectingApplication {
 public:
  using FaultInjectingApplication::FaultInjectingApplication;

 protected:
  std::unique_ptr<host::Workbook> make_workbook(host::Workbook& t) override {
    return std::make_unique<SafeDeleteWorkbook>(t, [this](const char* op) { on_call(op); });
  }
};

// A host failure inside any step stops the run without saving; the next
// run on the same job is a normal one.
TEST(Run, HostFailureInsideEachStepStopsWithoutSaving) {
  const std::pair<const char*, int> faults[] = {
      {"move_sheet_before", 1}, {"count_blank", 1},  {"sort", 1},         {"set_value", 5},
      {"sort", 2},              {"paste", 1},        {"set_formula", 3},  {"match_exact", 2},
      {"values", 1},            {"paste", 3},        {"clear_contents", 1}, {"add_sheet_after", 1},
      {"sort", 3},              {"sort", 4},         {"values", 2},       {"delete_sheet", 1},
      {"write_values", 1},      {"write_values", 4},
      {"add_page_break", 1},    {"set_font", 1},     {"clear_comments", 2}, {"clear_hyperlinks", 1},
  };
  const auto students = random_students(11, 24, 2, 10);
  // What a normal run saves, for comparison.
  std::string normal;
  {
    Harness ref(make_book({"语文", "数学"}, students));
    script_start(ref.ui, {"3", "0.1", ""});
    ref.ui.expect_message(kWait).expect_message_containing("程序共执行了");
    ASSERT_EQ(ref.run(), jobs::JobOutcome::Completed) << ref.ui.report();
    ASSERT_GT(ref.job.state().fb_cycles, 1);
    normal = ref.store->files.begin()->second;
  }
  for (auto [op, nth] : faults) {
    SCOPED_TRACE(std::string(op) + " #" + std::to_string(nth));
    Harness h(make_book({"语文", "数学"}, students));
    FaultyHost faulty(h.app);
    faulty.fail_on(op, nth);
    script_start(h.ui, {"3", "0.1", ""});
    h.ui.expect_message(kWait).expect_message_containing("已停止，工作簿没有保存").expect_message(kExit);
    EXPECT_EQ(h.run_on(faulty), jobs::JobOutcome::Stopped);
    EXPECT_TRUE(h.ui.finished()) << h.ui.report();
    EXPECT_EQ(faulty.failures(), 1);
    EXPECT_EQ(h.store->save_count, 0);
    EXPECT_TRUE(h.app.screen_updating());
    EXPECT_FALSE(h.app.copy_mode());

    // The same job, a fresh copy of the book: the run is the normal one.
    memory::MemoryWorkbook& again = h.app.open(make_book({"语文", "数学"}, students));
    h.wb = &again;
    h.clock.set(1000.0);
    ui::ScriptedUi& ui = h.ui;
    script_start(ui, {"3", "0.1", ""});
    ui.expect_message(kWait).expect_message_containing("程序共执行了");
    EXPECT_EQ(h.run(), jobs::JobOutcome::Completed) << ui.report();
    ASSERT_EQ(h.store->save_count, 1);
    EXPECT_EQ(h.store->files.begin()->second, normal);
  }
}

TEST(Run, FailedSaveIsReportedWithoutEndMessage) {
  Harness h(make_book({"语文"}, ranked_students(3, 3)));
  h.store->fail = true;
  script_start(h.ui, {"2", "0", ""});
  h.ui.expect_message(kWait).expect_message_containing("保存工作簿失败：");
  EXPECT_EQ(h.run(), jobs::JobOutcome::SaveFailed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  EXPECT_TRUE(h.app.screen_updating());
}

TEST(Run, EveryRunStartsFromTheDefaults) {
  Harness h(make_book({"语文"}, ranked_students(3, 3)));
  script_start(h.ui, {"2", "3", "0.8"});
  h.ui.expect_message(kWait).expect_message_containing("程序共执行了");
  ASSERT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();

  // An aborted run that stored a class count of 1 ...
  h.ui.expect_message(kConfirm)
      .expect_form("gs", [](ui::FormDriver& f) { f.click("zx_bt"); })
      .expect_form("c_fbsz", [](ui::FormDriver& f) {
        f.set_text("c_fbs_txtbox", "1");
        f.choose("OptionButton2");
        f.set_text("c_fbsj_txtbox", "5");
        f.click("CommandButton1");
      })
      .expect_form("c_fbsz", [](ui::FormDriver& f) { f.click("CommandButton2"); })
      .expect_message(kExit);
  EXPECT_EQ(h.run(), jobs::JobOutcome::Stopped);
  EXPECT_EQ(h.job.state().fb_time_limit, 300);

  // ... leaves nothing for the next: an empty entry is asked for again.
  h.ui.expect_message(kConfirm)
      .expect_form("gs", [](ui::FormDriver& f) { f.click("zx_bt"); })
      .expect_form("c_fbsz", [](ui::FormDriver& f) { f.click("CommandButton1"); })
      .expect_message("请输入分班数!")
      .expect_form("c_fbsz", [](ui::FormDriver& f) { f.click("CommandButton2"); })
      .expect_message(kExit);
  EXPECT_EQ(h.run(), jobs::JobOutcome::Stopped);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  EXPECT_EQ(h.job.state().fb_class_count, 0);
  EXPECT_EQ(h.job.state().fb_time_limit, 120);
  EXPECT_EQ(h.job.state().fb_max_diff, 1.0f);
}

TEST(Run, HelpShowsTheHelpForm) {
  ui::ScriptedUi ui;
  ui.expect_form("fb_help", [](ui::FormDriver& f) { f.click("CommandButton1"); });
  memory::MemoryApplication app;
  host::FakeClock clock;
  jobs::JobEnv env{app, ui, clock};
  ClassDivision job;
  job.fb_show_help(env);
  EXPECT_TRUE(ui.finished()) << ui.report();
}

}  // namespace
}  // namespace lczs::classdiv
