// The in-memory search against a slow reference that does what the search
// was first written to do: read the scores, class averages and spreads from
// the sheet for every candidate, let the application compute maxima, minima
// and means, exchange the rows on the sheet and refresh the block after
// every exchange.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "classdiv/fb_main.h"
#include "tests/classdiv/harness.h"

namespace lczs::classdiv {
namespace {

using namespace testing;
using host::Area;
using host::Value;

void reference_balance(jobs::JobEnv& env, FbState& st) {
  host::Worksheet& ws = *st.work_sheet;
  host::WorksheetFunctions& wf = env.host_app.worksheet_function();
  const int N = st.fb_student_count, M = st.fb_score_cols, K = st.fb_class_count;
  const int S = N + 9;
  const Area spread_row{S + K + 5, 5, S + K + 5, M + 4};

  st.fb_start_time = env.clock.now_seconds();
  double top = wf.max(ws, spread_row);
  st.fb_max_spread = static_cast<float>(top);
  int w = wf.match_exact(Value::number(top), ws, spread_row);
  while (env.clock.now_seconds() < st.fb_start_time + st.fb_time_limit &&
         st.fb_max_spread > st.fb_max_diff) {
    std::vector<std::vector<float>> avg(M + 1, std::vector<float>(K + 1));
    for (int j = 1; j <= M; ++j)
      for (int c = 1; c <= K; ++c) avg[j][c] = static_cast<float>(ws.value(S + c, j + 4).as_number());
    auto cand = avg;
    const int h = static_cast<int>(ws.value(S + K + 3, w + 4).as_number());
    const int l = static_cast<int>(ws.value(S + K + 4, w + 4).as_number());
    const auto& rh = st.fb_class_rows[h];
    const auto& rl = st.fb_class_rows[l];
    std::map<std::pair<int, int>, float> gain;
    auto judge = [&](int i, int k) {
      for (int j = 1; j <= M; ++j) {
        const double d = ws.value(i, j + 4).as_number() - ws.value(k, j + 4).as_number();
        cand[j][h] = static_cast<float>(avg[j][h] - d / st.fb_class_sizes[h][1]);
        cand[j][l] = static_cast<float>(avg[j][l] + d / st.fb_class_sizes[l][1]);
      }
      std::vector<float> cand_spread(M + 1);
      for (int j = 1; j <= M; ++j) {
        std::vector<float> column(cand[j].begin() + 1, cand[j].end());
        double mx = *std::max_element(column.begin(), column.end());
        double mn = *std::min_element(column.begin(), column.end());
        cand_spread[j] = static_cast<float>(mx - mn);
      }
      double sum = 0;
      for (int j = 1; j <= M; ++j) sum += cand_spread[j];
      gain[{i, k}] = static_cast<float>(wf.average(ws, spread_row) - sum / M);
    };
    for (int i = rh[1]; i <= rh[2]; ++i)
      for (int k = rl[1]; k <= rl[2]; ++k) judge(i, k);
    for (int i = rh[3]; i <= rh[4]; ++i)
      for (int k = rl[3]; k <= rl[4]; ++k) judge(i, k);
    if (gain.empty()) break;
    float best = gain.begin()->second;
    for (auto& [ik, g] : gain) best = std::max(best, g);
    st.fb_best_gain = best;
    int bi = 0, bk = 0;
    for (int i = rh[1]; i <= rh[4] && !bi; ++i)
      for (int k = rl[1]; k <= rl[4]; ++k) {
        auto it = gain.find({i, k});
        if (it != gain.end() && it->second == best) {
          bi = i;
          bk = k;
          break;
        }
      }
    fb_exchange_rows(env.host_app, ws, bi, bk, N + 4);
    st.fb_exchanges.push_back({bi, bk});
    fb_refresh_extremes(env, st);
    top = wf.max(ws, spread_row);
    st.fb_max_spread = static_cast<float>(top);
    w = wf.match_exact(Value::number(top), ws, spread_row);
    for (int r = 2; r <= N + 1; ++r)
      st.fb_record_no[r] = static_cast<int>(ws.value(r, M + 5).as_number());
  }
  st.fb_end_time = env.clock.now_seconds();
  st.fb_elapsed = st.fb_end_time - st.fb_start_time;
  fb_write_back(env, st);
}

struct Prepared {
  explicit Prepared(const std::vector<Student>& students, int subjects, int classes, int seconds)
      : h(make_book(subject_names(subjects), students)),
        env{h.app, h.ui, h.clock} {
    FbState& st = h.job.state();
    st.work_book = h.wb;
    st.work_sheet = &h.wb->active_sheet();
    st.fb_class_count = classes;
    st.fb_time_limit = seconds;
    st.fb_whole_search = false;  // the exchanges it is compared with swing on
    st.fb_max_diff = -1;  // never satisfied: the time decides
    h.ui.expect_message(kWait);
    fb_prepare_classes(env, st);
  }
  static std::vector<std::string> subject_names(int n) {
    std::vector<std::string> all = {"语文", "数学", "英语", "物理", "化学", "生物"};
    return {all.begin(), all.begin() + n};
  }
  Harness h;
  jobs::JobEnv env;
};

TEST(Reference, InMemorySearchMakesTheSameExchangesAsTheSheet) {
  struct Case {
    unsigned seed;
    int students, subjects, boys, classes;
    bool two_decimals;
  };
  const Case cases[] = {
      {1, 40, 3, 17, 4, false},
      {2, 45, 4, 25, 5, true},
      {3, 30, 2, 0, 3, true},   // girls only
      {4, 36, 5, 18, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("seed " + std::to_string(c.seed));
    const auto students = random_students(c.seed, c.students, c.subjects, c.boys, c.two_decimals);
    Prepared fast(students, c.subjects, c.classes, 25);
    Prepared slow(students, c.subjects, c.classes, 25);
    ASSERT_TRUE(fast.h.job.state().fb_go_on);
    fb_balance_classes(fast.env, fast.h.job.state());
    reference_balance(slow.env, slow.h.job.state());
    const FbState& a = fast.h.job.state();
    const FbState& b = slow.h.job.state();
    EXPECT_EQ(a.fb_exchanges.size(), 24u);
    EXPECT_EQ(a.fb_exchanges, b.fb_exchanges);
    EXPECT_EQ(a.fb_max_spread, b.fb_max_spread);
    EXPECT_EQ(a.fb_best_gain, b.fb_best_gain);
    EXPECT_EQ(a.fb_record_no, b.fb_record_no);
    EXPECT_EQ(a.fb_elapsed, b.fb_elapsed);
    EXPECT_EQ(memory::dump(fast.h.wb->data()), memory::dump(slow.h.wb->data()));
  }
}

}  // namespace
}  // namespace lczs::classdiv
