// The three-for-three exchange against a brute force over every such
// exchange of a small grade, with and without a rule that vetoes one; where
// none lowers the largest spread, what it gives must still be better.
#include <gtest/gtest.h>

#include "classdiv/fb_deep.h"
#include "tests/classdiv/small_grade.h"

namespace lczs::classdiv {
namespace {

using namespace testing;

// The best (largest spread, sum of spreads) of an exchange of three
// students of class a for three of the same genders of class b, any two
// classes, that lowers the largest spread; the present measure if none.
std::pair<double, double> brute_force(const Grade& g, const MoveRules* rules) {
  const auto now = g.measure(g.class_of);
  auto best = now;
  auto free = [&](int r) { return !rules || rules->companions(g.ids[r]).empty(); };
  std::vector<std::array<int, 3>> triples;
  for (int x = 0; x < g.n; ++x)
    for (int y = x + 1; y < g.n; ++y)
      for (int z = y + 1; z < g.n; ++z)
        if (g.class_of[x] == g.class_of[y] && g.class_of[y] == g.class_of[z] && free(x) && free(y) && free(z))
          triples.push_back({x, y, z});
  for (const auto& p : triples)
    for (const auto& q : triples) {
      const int a = g.class_of[p[0]], b = g.class_of[q[0]];
      if (a == b || g.boy[p[0]] + g.boy[p[1]] + g.boy[p[2]] != g.boy[q[0]] + g.boy[q[1]] + g.boy[q[2]]) continue;
      // Boys of p with boys of q, girls with girls, for the rules.
      std::vector<int> out_a, out_b;
      for (int boy : {1, 0})
        for (int n = 0; n < 3; ++n) {
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

TEST(Deep, FindsTheBestThreeForThreeABruteForceFindsAndKeepsTheRules) {
  std::mt19937 rng(11);
  int lowered = 0, vetoed = 0;
  for (int trial = 0; trial < 200; ++trial) {
    SCOPED_TRACE(trial);
    const Grade g = random_grade(rng, 4, 4);
    OneVeto veto(rng, g.n);
    const auto now = g.measure(g.class_of);
    const auto unruled = brute_force(g, nullptr);
    for (MoveRules* rules : {static_cast<MoveRules*>(nullptr), static_cast<MoveRules*>(&veto)}) {
      SCOPED_TRACE(rules ? "with a veto" : "without rules");
      FbDeep deep(rules);
      const auto move = deep.best_exchange(g.view());
      const auto want = rules ? brute_force(g, rules) : unruled;
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
      expect_trades(g, *move, move->count, cls, out_a, out_b);
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
  EXPECT_GT(lowered, 100);
  EXPECT_GT(vetoed, 10);
}

}  // namespace
}  // namespace lczs::classdiv
