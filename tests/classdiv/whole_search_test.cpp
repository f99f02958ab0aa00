// The whole search as the add-in and the command run it: the greedy
// exchanges until they would come back to a state, then late acceptance
// (annealing among many classes), the best state written back, and runs
// bounded by work that repeat.
#include <gtest/gtest.h>

#include <algorithm>

#include "classdiv/fb_main.h"
#include "classdiv/fb_refine.h"
#include "tests/classdiv/harness.h"

namespace lczs::classdiv {
namespace {

using namespace testing;

// The largest value of the statistics block's spread row.
double sheet_spread(Harness& h, int N, int M, int K) {
  double mx = 0;
  for (int x = 5; x <= M + 4; ++x) mx = std::max(mx, h.sheet(1).value(N + 9 + K + 5, x).as_number());
  return mx;
}

// Six boys in two classes. From the deal the greedy exchanges reach a
// spread of 4/3, then swing between a state of 14/3 and that one, so a run
// of an even number of cycles ends at the worse state.
TEST(WholeSearch, LeavesTheGreedySwingAndWritesBackTheBestState) {
  const std::vector<Student> boys = {{"甲", "男", {99}}, {"乙", "男", {84}}, {"丙", "男", {82}},
                                     {"丁", "男", {77}}, {"戊", "男", {48}}, {"己", "男", {42}}};
  auto run = [&](Harness& h) {
    script_start(h.ui, {"2", "0.25", "-1"});  // 15 readings of the clock, never satisfied
    h.ui.expect_message(kWait).expect_message_containing("程序共执行了");
    ASSERT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
  };
  Harness greedy(make_book({"语文"}, boys));
  run(greedy);
  EXPECT_EQ(greedy.job.state().fb_cycles, 14);
  EXPECT_NEAR(sheet_spread(greedy, 6, 2, 2), 14.0 / 3, 1e-9);

  Harness whole(make_book({"语文"}, boys));
  whole.search = ClassDivision::Search::Whole;
  run(whole);
  const FbState& st = whole.job.state();
  const std::vector<std::pair<int, int>> first_two(greedy.job.state().fb_exchanges.begin(),
                                                   greedy.job.state().fb_exchanges.begin() + 2);
  EXPECT_EQ(st.fb_exchanges, first_two);
  EXPECT_TRUE(st.fb_repeated);
  EXPECT_GT(st.fb_refine_candidates, 0);
  EXPECT_NEAR(sheet_spread(whole, 6, 2, 2), 4.0 / 3, 1e-9);
  EXPECT_EQ(st.fb_best_spread, sheet_spread(whole, 6, 2, 2));
  // 99 + 77 + 42 against 84 + 82 + 48: the only split with that spread.
  const char* names[] = {"甲", "丁", "己", "乙", "丙", "戊"};
  const int classes[] = {1, 1, 1, 2, 2, 2};
  for (int r = 2; r <= 7; ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(whole.cell(r, 3), names[r - 2]);
    EXPECT_EQ(whole.sheet(1).value(r, 2).as_number(), classes[r - 2]);
  }
}

// Random books: whatever the search did, every class has the size and the
// genders the deal gave it, and the statistics block shows the spread the
// search reports.
TEST(WholeSearch, KeepsSizesAndGendersAndReportsTheSheetsSpread) {
  struct Case {
    unsigned seed;
    int students, subjects, boys, classes;
    bool halves;
  };
  const Case cases[] = {
      {11, 60, 3, 25, 4, false}, {12, 90, 5, 50, 7, true}, {13, 45, 2, 0, 3, false}, {14, 33, 4, 17, 5, true},
      {15, 8 * kAnnealClasses, 3, 3 * kAnnealClasses, kAnnealClasses, false}};
  const jobs::OptionValues options = {{"--evaluations", "20000"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seed);
    const std::vector<std::string> subjects = {"语文", "数学", "英语", "物理", "化学"};
    Harness h(make_book({subjects.begin(), subjects.begin() + c.subjects},
                        random_students(c.seed, c.students, c.subjects, c.boys, c.halves)));
    h.options = &options;
    h.search = ClassDivision::Search::Whole;
    script_start(h.ui, {std::to_string(c.classes), "10", "-1"});
    h.ui.expect_message(kWait).expect_message_containing("程序共执行了");
    ASSERT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
    const FbState& st = h.job.state();
    EXPECT_EQ(st.fb_candidates, 20000);

    const int N = c.students, K = c.classes, M = c.subjects + 1;
    const std::vector<int> deal = fb_deal(c.boys, N - c.boys, K);
    std::vector<int> want_size(K + 1), want_boys(K + 1), size(K + 1), boys(K + 1);
    for (int n = 0; n < N; ++n) {
      ++want_size[deal[n]];
      want_boys[deal[n]] += n < c.boys;
    }
    for (int r = 2; r <= N + 1; ++r) {
      const int k = static_cast<int>(h.sheet(1).value(r, 2).as_number());
      ASSERT_TRUE(k >= 1 && k <= K);
      ++size[k];
      boys[k] += h.cell(r, 4) == "男";
    }
    EXPECT_EQ(size, want_size);
    EXPECT_EQ(boys, want_boys);
    EXPECT_EQ(static_cast<float>(st.fb_best_spread), static_cast<float>(sheet_spread(h, N, M, K)));
  }
}

// Bounded by candidates judged, the same book, settings and seed give the
// same workbook however fast the clock runs; another seed other classes.
// Late acceptance and annealing alike.
TEST(WholeSearch, WorkBoundRepeatsTheSameClassesWhateverTheClock) {
  const auto students = random_students(21, 80, 4, 40);
  for (int classes : {4, kAnnealClasses}) {
    SCOPED_TRACE(classes);
    auto run = [&](double clock_step, const char* seed) {
      const jobs::OptionValues options = {{"--seed", seed}, {"--evaluations", "30000"}};
      Harness h(make_book({"语文", "数学", "英语", "物理"}, students), clock_step);
      h.options = &options;
      h.search = ClassDivision::Search::Whole;
      script_start(h.ui, {std::to_string(classes), "2", "-1"});
      h.ui.expect_message(kWait).expect_message_containing("程序共执行了");
      EXPECT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
      std::string written;
      for (int r = 2; r <= 81; ++r) written += h.cell(r, 1) + ":" + h.cell(r, 2) + " ";
      return written;
    };
    const std::string first = run(1.0, "5");
    EXPECT_EQ(run(0.001, "5"), first);
    EXPECT_NE(run(1.0, "6"), first);
  }
}

// A search option that is not a whole number stops the run before its first
// question; the workbook is not touched.
TEST(WholeSearch, BadSearchOptionsStopBeforeAnything) {
  const std::pair<const char*, const char*> cases[] = {{"--seed", "-1"}, {"--seed", "1.5"}, {"--evaluations", "abc"}};
  for (auto [name, text] : cases) {
    SCOPED_TRACE(name + std::string(" ") + text);
    const jobs::OptionValues options = {{name, text}};
    Harness h(make_book({"语文"}, random_students(3, 8, 1, 4)));
    const std::string before = memory::dump(h.wb->data());
    h.options = &options;
    h.ui.expect_message(std::string("选项 ") + name + " 须是 0 到 9007199254740992 之间的整数，给的是“" + text + "”。")
        .expect_message(kExit);
    EXPECT_EQ(h.run(), jobs::JobOutcome::Stopped) << h.ui.report();
    EXPECT_EQ(memory::dump(h.wb->data()), before);
  }
}

}  // namespace
}  // namespace lczs::classdiv
