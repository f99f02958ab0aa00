// The polish against a brute force over every one-for-one and two-for-two
// exchange of a small grade, with and without a rule that vetoes one.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <tuple>

#include "classdiv/fb_polish.h"
#include "tests/classdiv/small_grade.h"

namespace lczs::classdiv {
namespace {

using namespace testing;

TEST(Polish, FindsTheBestExchangeABruteForceFindsAndKeepsTheRules) {
  std::mt19937 rng(7);
  int lowered = 0, vetoed = 0;
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE(trial);
    const Grade g = random_grade(rng);
    OneVeto veto(rng, g.n);
    for (MoveRules* rules : {static_cast<MoveRules*>(nullptr), static_cast<MoveRules*>(&veto)}) {
      SCOPED_TRACE(rules ? "with a veto" : "without rules");
      FbPolish polish(rules);
      const auto move = polish.best_exchange(g.view());
      const Found want = best_single_exchange(g, rules);
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
      std::vector<int> cls, out_a, out_b;
      expect_trades(g, *move, move->count, cls, out_a, out_b);
      if (rules) {
        vetoed += best_single_exchange(g, nullptr).measure != want.measure;
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

// A polish kept across a descent remembers each class's sorted pairs; after
// every exchange it must choose what a fresh one chooses.
TEST(Polish, KeptAcrossExchangesChoosesAsAFreshOne) {
  std::mt19937 rng(11);
  int steps = 0;
  for (int trial = 0; trial < 60; ++trial) {
    SCOPED_TRACE(trial);
    Grade g = random_grade(rng);
    FbPolish kept;
    for (int step = 0; step < 20; ++step) {
      const auto move = kept.best_exchange(g.view());
      const auto fresh = FbPolish().best_exchange(g.view());
      ASSERT_EQ(move.has_value(), fresh.has_value());
      if (!move) break;
      EXPECT_EQ(std::tie(move->a, move->b, move->count, move->out_of_a, move->out_of_b),
                std::tie(fresh->a, fresh->b, fresh->count, fresh->out_of_a, fresh->out_of_b));
      // The rows trade places, as the search moves them.
      std::vector<double> d(g.m);
      polish_delta(g.view(), *move, d.data());
      for (int j = 0; j < g.m; ++j) {
        g.sums[move->a * g.m + j] -= d[j];
        g.sums[move->b * g.m + j] += d[j];
      }
      for (int x = 0; x < move->count; ++x) {
        const int i = move->out_of_a[x], k = move->out_of_b[x];
        std::swap_ranges(&g.scores[i * g.m], &g.scores[i * g.m] + g.m, &g.scores[k * g.m]);
        std::swap(g.ids[i], g.ids[k]);
      }
      ++steps;
    }
  }
  EXPECT_GT(steps, 100);
}

}  // namespace
}  // namespace lczs::classdiv
