// The polish against a brute force over every one-for-one and two-for-two
// exchange of a small grade, with and without a rule that vetoes one.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "classdiv/fb_polish.h"
#include "tests/classdiv/small_grade.h"

namespace lczs::classdiv {
namespace {

using namespace testing;

struct Found {
  std::pair<double, double> measure;
  bool any = false;
};

// Every same-gender one-for-one exchange and every two-for-two exchange
// with the same genders on both sides, between any two classes.
Found brute_force(const Grade& g, const MoveRules* rules) {
  Found best;
  best.measure = g.measure(g.class_of);
  auto free = [&](int r) { return !rules || rules->companions(g.ids[r]).empty(); };
  for (int i1 = 0; i1 < g.n; ++i1)
    for (int i2 = i1; i2 < g.n; ++i2)
      for (int k1 = 0; k1 < g.n; ++k1)
        for (int k2 = 0; k2 < g.n; ++k2) {
          const int a = g.class_of[i1], b = g.class_of[k1];
          if (a == b || g.class_of[i2] != a || g.class_of[k2] != b) continue;
          if (g.boy[i1] != g.boy[k1] || g.boy[i2] != g.boy[k2]) continue;
          if ((i1 == i2) != (k1 == k2) || (i1 != i2 && k1 == k2)) continue;
          if (!free(i1) || !free(i2) || !free(k1) || !free(k2)) continue;
          std::vector<int> out_a{g.ids[i1]}, out_b{g.ids[k1]};
          if (i2 != i1) out_a.push_back(g.ids[i2]), out_b.push_back(g.ids[k2]);
          if (rules && !rules->allowed(Exchange{a, b, out_a, out_b})) continue;
          std::vector<int> cls = g.class_of;
          for (int r : {i1, i2}) cls[r] = b;
          for (int r : {k1, k2}) cls[r] = a;
          const auto m = g.measure(cls);
          if (lower(m, best.measure)) best = {m, true};
        }
  return best;
}

TEST(Polish, FindsTheBestExchangeABruteForceFindsAndKeepsTheRules) {
  std::mt19937 rng(7);
  int lowered = 0, vetoed = 0;
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE(trial);
    const Grade g = random_grade(rng);
    OneVeto veto;
    veto.fixed = 1 + rng() % g.n;
    veto.tied = 1 + rng() % g.n;
    veto.mate = {1 + static_cast<int>(rng() % g.n)};
    for (MoveRules* rules : {static_cast<MoveRules*>(nullptr), static_cast<MoveRules*>(&veto)}) {
      SCOPED_TRACE(rules ? "with a veto" : "without rules");
      FbPolish polish(rules);
      const auto move = polish.best_exchange(g.view());
      const Found want = brute_force(g, rules);
      const auto now = g.measure(g.class_of);
      if (want.any && want.measure.first < now.first - kPolishTolerance) {
        // Whatever lowers the largest spread, the polish finds the best of.
        ++lowered;
        ASSERT_TRUE(move);
        EXPECT_NEAR(move->max_spread, want.measure.first, 1e-9);
        EXPECT_NEAR(move->spread_sum, want.measure.second, 1e-9);
      }
      if (!move) continue;
      // What it hands back is an improvement that the rules allow, and it
      // is what it claims to be.
      std::vector<int> cls = g.class_of;
      std::vector<int> out_a, out_b;
      for (int x = 0; x < move->count; ++x) {
        const int i = move->out_of_a[x], k = move->out_of_b[x];
        EXPECT_EQ(g.class_of[i], move->a);
        EXPECT_EQ(g.class_of[k], move->b);
        EXPECT_EQ(g.boy[i], g.boy[k]);
        cls[i] = move->b;
        cls[k] = move->a;
        out_a.push_back(g.ids[i]);
        out_b.push_back(g.ids[k]);
      }
      if (rules) {
        vetoed += brute_force(g, nullptr).measure != want.measure;
        EXPECT_TRUE(rules->allowed(Exchange{move->a, move->b, out_a, out_b}));
        for (int id : out_a) EXPECT_TRUE(rules->companions(id).empty());
        for (int id : out_b) EXPECT_TRUE(rules->companions(id).empty());
      }
      const auto after = g.measure(cls);
      EXPECT_NEAR(after.first, move->max_spread, 1e-9);
      EXPECT_NEAR(after.second, move->spread_sum, 1e-9);
      EXPECT_TRUE(lower(after, now));
    }
  }
  // The grades must exercise both sides of the comparison.
  EXPECT_GT(lowered, 100);
  EXPECT_GT(vetoed, 20);
}

}  // namespace
}  // namespace lczs::classdiv
