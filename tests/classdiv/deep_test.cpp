// The three-for-three and four-for-four exchanges against a brute force
// over every such exchange of a small grade, with and without a rule that
// vetoes one; where none lowers the largest spread, what it gives must
// still be better.
#include <gtest/gtest.h>

#include "classdiv/fb_deep.h"
#include "tests/classdiv/small_grade.h"

namespace lczs::classdiv {
namespace {

using namespace testing;

// Every `size` free rows of one class, in the order of their rows.
void groups_of(const Grade& g, const MoveRules* rules, int size, std::vector<int>& at,
               std::vector<std::vector<int>>& out) {
  if (static_cast<int>(at.size()) == size) return out.push_back(at);
  for (int r = at.empty() ? 0 : at.back() + 1; r < g.n; ++r) {
    if (!at.empty() && g.class_of[r] != g.class_of[at[0]]) continue;
    if (rules && !rules->companions(g.ids[r]).empty()) continue;
    at.push_back(r);
    groups_of(g, rules, size, at, out);
    at.pop_back();
  }
}

// The best (largest spread, sum of spreads) of an exchange of `size`
// students of class a for as many of the same genders of class b, any two
// classes, that lowers the largest spread; the present measure if none.
std::pair<double, double> brute_force(const Grade& g, const MoveRules* rules, int size) {
  const auto now = g.measure(g.class_of);
  auto best = now;
  std::vector<std::vector<int>> groups;
  std::vector<int> at;
  groups_of(g, rules, size, at, groups);
  auto boys = [&](const std::vector<int>& p) {
    int n = 0;
    for (int r : p) n += g.boy[r];
    return n;
  };
  for (const auto& p : groups)
    for (const auto& q : groups) {
      const int a = g.class_of[p[0]], b = g.class_of[q[0]];
      if (a == b || boys(p) != boys(q)) continue;
      // Boys of p with boys of q, girls with girls, for the rules.
      std::vector<int> out_a, out_b;
      for (int boy : {1, 0})
        for (int n = 0; n < size; ++n) {
          if (g.boy[p[n]] == boy) out_a.push_back(g.ids[p[n]]);
          if (g.boy[q[n]] == boy) out_b.push_back(g.ids[q[n]]);
        }
      if (rules && !rules->allowed(Exchange{a, b, out_a, out_b})) continue;
      std::vector<int> cls = g.class_of;
      for (int r : p) cls[r] = b;
      for (int r : q) cls[r] = a;
      const auto m = g.measure(cls);
      if (m.first < now.first - kPolishTolerance && lower(m, best)) best = m;
    }
  return best;
}

TEST(Deep, FindsTheBestExchangeABruteForceFindsAndKeepsTheRules) {
  // Groups of four need classes of five or more to have a choice.
  const struct {
    int size, trials, most_boys, most_girls;
  } kCases[] = {{3, 200, 4, 4}, {4, 60, 4, 5}};
  for (const auto& c : kCases) {
  SCOPED_TRACE(c.size);
  std::mt19937 rng(11);
  int lowered = 0, vetoed = 0;
  for (int trial = 0; trial < c.trials; ++trial) {
    SCOPED_TRACE(trial);
    const Grade g = random_grade(rng, c.most_boys, c.most_girls);
    OneVeto veto(rng, g.n);
    const auto now = g.measure(g.class_of);
    const auto unruled = brute_force(g, nullptr, c.size);
    for (MoveRules* rules : {static_cast<MoveRules*>(nullptr), static_cast<MoveRules*>(&veto)}) {
      SCOPED_TRACE(rules ? "with a veto" : "without rules");
      FbDeep deep(rules, c.size);
      const auto move = deep.best_exchange(g.view());
      const auto want = rules ? brute_force(g, rules, c.size) : unruled;
      vetoed += rules && want != unruled;
      if (want != now) {
        // Whatever lowers the largest spread, it finds the best of.
        ++lowered;
        ASSERT_TRUE(move);
        EXPECT_NEAR(move->max_spread, want.first, 1e-9);
        EXPECT_NEAR(move->spread_sum, want.second, 1e-9);
      }
      if (!move) continue;
      // What it hands back is what it claims: pairs of one gender, allowed,
      // and measured afresh as the search will apply it.
      std::vector<int> cls, out_a, out_b;
      EXPECT_EQ(move->count, c.size);
      expect_trades(g, *move, c.size, cls, out_a, out_b);
      if (rules) {
        EXPECT_TRUE(rules->allowed(Exchange{move->a, move->b, out_a, out_b}));
      }
      std::vector<double> d(g.m), sums = g.sums;
      deep_delta(g.view(), *move, d.data());
      double mx = 0;
      for (int j = 0; j < g.m; ++j) {
        double hi = -1e300, lo = 1e300;
        sums[move->a * g.m + j] -= d[j];
        sums[move->b * g.m + j] += d[j];
        for (int c = 1; c <= g.k; ++c) {
          hi = std::max(hi, sums[c * g.m + j] / g.sizes[c]);
          lo = std::min(lo, sums[c * g.m + j] / g.sizes[c]);
        }
        mx = std::max(mx, hi - lo);
      }
      EXPECT_EQ(mx, move->max_spread);
      EXPECT_NEAR(g.measure(cls).first, move->max_spread, 1e-9);
      EXPECT_NEAR(g.measure(cls).second, move->spread_sum, 1e-9);
      EXPECT_TRUE(lower(g.measure(cls), now));
    }
  }
  // The grades must exercise both sides of the comparison.
  EXPECT_GT(lowered, c.trials / 2);
  EXPECT_GT(vetoed, c.trials / 20);
  }
}

}  // namespace
}  // namespace lczs::classdiv
